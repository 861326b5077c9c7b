#include "ui/framework/ResourceStore.h"

#include "ui/framework/SearchPath.h"
#include "ui/framework/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QResource>
#include <QUiLoader>
#include <QWidget>

namespace ui {

MessageTable::MessageTable(const QString& source)
{
    for (const QString& line : source.split(QLatin1Char('\n'))) {
        QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        auto equals = trimmed.indexOf(QLatin1Char('='));
        bool isNumber = false;
        int number = trimmed.left(equals).trimmed().toInt(&isNumber);
        if (equals > 0 && isNumber)
            m_messages.emplace(number, trimmed.mid(equals + 1).trimmed());
    }
}

QString MessageTable::Get(int number) const
{
    auto found = m_messages.find(number);
    return found == m_messages.end() ? QString() : found->second;
}

ResourceStore::ResourceStore(const std::string& fileName, const UI_PATH& searchPath)
    : m_fileName(fileName), m_path(searchPath.Find(fileName))
{
    // Each open store gets a root of its own, so that two stores may hold definitions of
    // the same name.
    static int storesOpened = 0;
    m_root = QStringLiteral("/store%1").arg(++storesOpened);
    // Qt trusts what the file says, so a file is checked whole before Qt sees it.
    if (m_path.empty() || !IsSoundStoreFile(m_path) ||
        !QResource::registerResource(QString::fromStdString(m_path), m_root)) {
        m_error = 1;
        m_root.clear();
    }
}

ResourceStore::~ResourceStore()
{
    if (!m_root.isEmpty())
        QResource::unregisterResource(QString::fromStdString(m_path), m_root);
}

QString ResourceStore::resourcePath(const QString& name) const
{
    return QStringLiteral(":") + m_root + QLatin1Char('/') + name;
}

bool ResourceStore::HasObject(const QString& name) const
{
    return !m_error && QFile::exists(resourcePath(name));
}

QWidget* ResourceStore::LoadWindow(const QString& name, QWidget* parent) const
{
    if (!HasObject(name))
        return nullptr;
    QFile definition(resourcePath(name));
    if (!definition.open(QIODevice::ReadOnly))
        return nullptr;
    QUiLoader loader;
    return loader.load(&definition, parent);
}

MessageTable ResourceStore::LoadMessageTable(const QString& name) const
{
    QFile table(resourcePath(name));
    if (m_error || !table.open(QIODevice::ReadOnly))
        return {};
    return MessageTable(QString::fromUtf8(table.readAll()));
}

} // namespace ui
