// The kinds, limits and codes of the window definitions that the code relies on.

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QResource>
#include <QUiLoader>
#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<QWidget> window(const QString& path)
{
    QFile file(":/" + (path.contains('/') ? path : "ROBJECTS.DAT/" + path));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return std::unique_ptr<QWidget>(QUiLoader().load(&file));
}

TEST(WindowDefinitions, DialogsCarryTheControlsAndPropertiesTheCodeReads)
{
    for (const char* store : {"ROBJECTS.DAT", "p_servic.z_t", "p_direct.z_t"})
        ASSERT_TRUE(QResource::registerResource(
            QDir(qEnvironmentVariable("REGISTER_BIN_DIR")).filePath(store), "/" + QString(store)))
            << store;
    // Each definition is a dialog with a title; the service manager's store holds its own.
    for (const char* name : {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE",
                             "STATUS_WINDOW", "p_servic.z_t/ZAF_SERVICE_MANAGER"}) {
        const auto widget = window(name);
        ASSERT_NE(qobject_cast<QDialog*>(widget.get()), nullptr) << name;
        EXPECT_FALSE(widget->windowTitle().isEmpty()) << name;
    }
    std::vector<std::tuple<QString, const char*, const char*, QVariant>> properties = {
        {"DATA_WINDOW", "PHONE", "inputMask", QString("(999) 999-9999")},
        {"DATA_WINDOW", "COUNTRY", "nonSelectable", true}};
    const std::pair<const char*, int> lengths[] = {
        {"FIRST_NAME", 74},     {"LAST_NAME", 149},      {"STREET", 149},
        {"CITY", 74},           {"STATE", 74},           {"ZIP", 74},
        {"COUNTRY", 149},       {"EMAIL", 74},           {"PHONE", 14},
        {"PURCHASED_FROM", 74}, {"REASON_PURCHASED", 74}};
    for (const auto& [field, length] : lengths)
        properties.push_back({"DATA_WINDOW", field, "maxLength", length});
    for (const char* name : {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE"})
        properties.push_back({name, "OK", "default", true}); // Enter presses OK
    for (const auto& [name, child, property, value] : properties) {
        SCOPED_TRACE((name + "." + child + "." + property).toStdString());
        const auto widget = window(name);
        const auto* object = widget ? widget->findChild<QWidget*>(child) : nullptr;
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->property(property), value);
    }
}

} // namespace
