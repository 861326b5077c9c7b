#include "ui/framework/ResourceStore.h"

#include "ui/framework/SearchPath.h"

#include <QDir>
#include <QFile>
#include <QResource>
#include <QUiLoader>
#include <QWidget>

#include <vector>

namespace ui {

namespace {

quint32 bigEndian32(const QByteArray& bytes, qsizetype at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

quint16 bigEndian16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint16>(static_cast<unsigned char>(bytes[at]) << 8 |
                                static_cast<unsigned char>(bytes[at + 1]));
}

} // namespace

// An rcc file is a header ("qres", version, then the offsets of the tree, the data and the
// names), the data, the names and last the tree of nodes. Qt trusts the offsets inside, so a
// file cut short registers and then reads past its end. Every node, name and data block the
// tree refers to must lie within the file.
bool isWholeResourceFile(const QByteArray& file)
{
    const qsizetype size = file.size();
    if (size < 20 || !file.startsWith("qres"))
        return false;
    const quint32 version = bigEndian32(file, 4);
    const qsizetype tree = bigEndian32(file, 8);
    const qsizetype data = bigEndian32(file, 12);
    const qsizetype names = bigEndian32(file, 16);
    const qsizetype nodeSize = version >= 2 ? 22 : 14;
    if (version < 1 || version > 3 || tree > size || data > size || names > size)
        return false;
    const qsizetype nodeCount = (size - tree) / nodeSize;

    std::vector<qsizetype> pending{0};
    qsizetype visited = 0;
    while (!pending.empty()) {
        const qsizetype index = pending.back();
        pending.pop_back();
        // A cycle or a child beyond the end would visit more nodes than the file holds.
        if (index >= nodeCount || ++visited > nodeCount)
            return false;
        const qsizetype node = tree + index * nodeSize;
        const qsizetype name = names + bigEndian32(file, node);
        if (name + 6 > size || name + 6 + 2 * qsizetype(bigEndian16(file, name)) > size)
            return false;
        const bool directory = bigEndian16(file, node + 4) & 0x02;
        if (directory) {
            const qsizetype children = bigEndian32(file, node + 6);
            const qsizetype first = bigEndian32(file, node + 10);
            if (children > nodeCount || first > nodeCount)
                return false;
            for (qsizetype child = 0; child < children; ++child)
                pending.push_back(first + child);
        } else {
            const qsizetype block = data + bigEndian32(file, node + 10);
            if (block + 4 > size || block + 4 + qsizetype(bigEndian32(file, block)) > size)
                return false;
        }
    }
    return true;
}

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
    if (m_path.empty() || !QResource::registerResource(QString::fromStdString(m_path), m_root)) {
        m_error = 1;
        m_root.clear();
        return;
    }
    // A file cut short may still register: it must be whole.
    if (!entriesReadable()) {
        QResource::unregisterResource(QString::fromStdString(m_path), m_root);
        m_error = 1;
        m_root.clear();
    }
}

bool ResourceStore::entriesReadable() const
{
    QFile file(QString::fromStdString(m_path));
    return file.open(QIODevice::ReadOnly) && isWholeResourceFile(file.readAll());
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
