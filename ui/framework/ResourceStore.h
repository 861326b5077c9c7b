#pragma once

// A resource store: a read-only file of named window definitions and message tables. On disk
// it is a binary Qt resource (made by `rcc -binary`) whose root holds one Qt Designer .ui file
// per window definition, named by the definition ("DATA_WINDOW"), and message tables as text
// files of "number=text" lines ("MSG_TABLE").

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <string>

class QWidget;

namespace ui {

class UI_PATH;

// Numbered texts of a store, such as the application title.
class MessageTable
{
public:
    MessageTable() = default;
    explicit MessageTable(const QString& source);
    // The text of a message, or an empty text when the table has none of that number.
    QString Get(int number) const;
    bool Has(int number) const { return m_messages.count(number) != 0; }
    std::size_t Size() const { return m_messages.size(); }

private:
    std::map<int, QString> m_messages;
};

class ResourceStore
{
public:
    // Opens fileName along the search path (or as given, when it names a directory).
    ResourceStore(const std::string& fileName, const UI_PATH& searchPath);
    ~ResourceStore();
    ResourceStore(const ResourceStore&) = delete;
    ResourceStore& operator=(const ResourceStore&) = delete;

    // Non-zero when the store cannot be used: the file was found nowhere or is no store.
    int Error() const { return m_error; }
    const std::string& FileName() const { return m_fileName; }
    const std::string& Path() const { return m_path; }

    bool HasObject(const QString& name) const;
    // Builds the widget tree of a window definition, or returns nullptr when the store
    // holds no such definition. The caller owns the result.
    QWidget* LoadWindow(const QString& name, QWidget* parent = nullptr) const;
    MessageTable LoadMessageTable(const QString& name) const;

private:
    QString resourcePath(const QString& name) const;

    std::string m_fileName;
    std::string m_path;
    QString m_root;
    int m_error = 0;
};

} // namespace ui
