// The packed stores are the contract between the window definitions and the window classes:
// every definition is loaded as the program does, and the identifiers, kinds, limits and
// codes the code relies on are checked.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QResource>
#include <QUiLoader>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

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
    const QString radio = "QRadioButton", push = "QPushButton", edit = "QLineEdit";
    const std::map<QString, std::map<QString, std::set<QString>>> cases = {
        {"COUNTRY", {{radio, {"USA", "CANADA", "OTHER"}}, {push, {"OK", "CANCEL"}}}},
        {"METHOD", {{radio, {"INTERNET", "MAIL", "FAX", "MODEM"}}, {push, {"OK", "CANCEL"}}}},
        {"DATA_WINDOW",
         {{edit,
           {"FIRST_NAME", "LAST_NAME", "STREET", "CITY", "STATE", "ZIP", "PHONE", "COUNTRY",
            "EMAIL", "PURCHASED_FROM"}},
          {"QComboBox", {"REASON_PURCHASED"}},
          {push, {"OK", "CANCEL"}}}},
        {"DIALING_CONFIGURE",
         {{edit, {"PREFIX"}}, {radio, {"TONE", "PULSE"}}, {push, {"OK", "CANCEL"}}}},
        {"STATUS_WINDOW", {}},
        {"p_servic.z_t/ZAF_SERVICE_MANAGER", {}},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name.toStdString());
        const auto widget = window(name);
        ASSERT_NE(qobject_cast<QDialog*>(widget.get()), nullptr);
        EXPECT_EQ(widget->objectName(), name.section('/', -1));
        EXPECT_FALSE(widget->windowTitle().isEmpty());
        std::map<QString, std::set<QString>> controls; // by class
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            // The line edit inside the editable combo box belongs to the combo box.
            if (!qobject_cast<QComboBox*>(child->parentWidget()) &&
                (qobject_cast<QLineEdit*>(child) || qobject_cast<QComboBox*>(child) ||
                 qobject_cast<QAbstractButton*>(child)))
                controls[child->metaObject()->className()].insert(child->objectName());
        }
        EXPECT_EQ(controls, expected);
    }
    std::vector<std::tuple<QString, const char*, const char*, QVariant>> properties = {
        {"DIALING_CONFIGURE", "PREFIX", "maxLength", 73},
        {"DATA_WINDOW", "PHONE", "inputMask", QString("(999) 999-9999")},
        {"DATA_WINDOW", "COUNTRY", "nonSelectable", true},
        {"DATA_WINDOW", "REASON_PURCHASED", "editable", true},
        {"STATUS_WINDOW", "MESSAGE", "number", 3},
    };
    const std::pair<const char*, int> lengths[] = {
        {"FIRST_NAME", 74},     {"LAST_NAME", 149},      {"STREET", 149},
        {"CITY", 74},           {"STATE", 74},           {"ZIP", 74},
        {"COUNTRY", 149},       {"EMAIL", 74},           {"PHONE", 14},
        {"PURCHASED_FROM", 74}, {"REASON_PURCHASED", 74}};
    for (const auto& [field, length] : lengths)
        properties.push_back({"DATA_WINDOW", field, "maxLength", length});
    for (const char* name : {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE"})
        properties.insert(properties.end(), {{name, "OK", "event", 10421},
                                             {name, "CANCEL", "event", 10422},
                                             {name, "OK", "default", true}});
    for (const auto& [name, child, property, value] : properties) {
        SCOPED_TRACE((name + "." + child + "." + property).toStdString());
        const auto widget = window(name);
        const auto* object = widget ? widget->findChild<QWidget*>(child) : nullptr;
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->property(property), value);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
