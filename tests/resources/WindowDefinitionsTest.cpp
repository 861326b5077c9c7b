// The packed stores are the contract between the window definitions and the window classes:
// these tests load every definition the way the program does (register the store, build the
// window with QUiLoader) and check the identifiers, kinds, limits and codes the code relies on.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QResource>
#include <QUiLoader>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

const std::pair<const char*, const char*> kStores[] = {
    {"ROBJECTS.DAT", "/robjects"}, {"p_servic.z_t", "/p_servic"}, {"p_direct.z_t", "/p_direct"}};

QString binPath(const char* fileName)
{
    return QDir(qEnvironmentVariable("REGISTER_BIN_DIR")).filePath(fileName);
}

class WindowDefinitions : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (const auto& [fileName, root] : kStores)
            EXPECT_TRUE(QResource::registerResource(binPath(fileName), root)) << fileName;
    }
    // A definition of ROBJECTS.DAT by name, or of any store by its path ("/p_servic/...").
    static std::unique_ptr<QWidget> window(const QString& name)
    {
        QFile file(":" + (name.startsWith('/') ? name : "/robjects/" + name));
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        QUiLoader loader;
        return std::unique_ptr<QWidget>(loader.load(&file));
    }
};

TEST_F(WindowDefinitions, MissingStoreFailsToRegister)
{
    EXPECT_FALSE(QResource::registerResource(binPath("NOSUCH.DAT"), "/missing"));
}

// Every control a person can operate: a missing identifier breaks the window class, an extra one
// would be a control that does nothing.
TEST_F(WindowDefinitions, DialogsCarryTheControlsTheCodeLooksUp)
{
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
        {"/p_servic/ZAF_SERVICE_MANAGER", {}},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name.toStdString());
        const auto widget = window(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_NE(qobject_cast<QDialog*>(widget.get()), nullptr);
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
        // Choosing one choice must clear the others: the code takes the first checked one.
        for (auto* choice : widget->findChildren<QRadioButton*>()) {
            choice->click();
            for (const auto* other : widget->findChildren<QRadioButton*>())
                EXPECT_EQ(other->isChecked(), other == choice)
                    << choice->objectName().toStdString();
        }
        // Alt+letter reaches exactly one control, and a label's letter moves to its field.
        std::set<QKeySequence> seen;
        for (const QWidget* child : widget->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<const QLabel*>(child);
            const auto* button = qobject_cast<const QAbstractButton*>(child);
            const QString text = label ? label->text() : button ? button->text() : QString();
            if (QKeySequence key = QKeySequence::mnemonic(text); !key.isEmpty()) {
                EXPECT_TRUE(seen.insert(key).second) << text.toStdString();
                EXPECT_TRUE(!label || label->buddy()) << text.toStdString();
            }
        }
    }
}

// The limits, masks and codes the code reads from the definitions' properties.
TEST_F(WindowDefinitions, PropertiesCarryWhatTheCodeReads)
{
    std::vector<std::tuple<QString, const char*, const char*, QVariant>> cases = {
        {"DIALING_CONFIGURE", "PREFIX", "maxLength", 73},
        {"DATA_WINDOW", "PHONE", "inputMask", QString("(999) 999-9999")},
        {"DATA_WINDOW", "PHONE", "displayText", QString("(   )    -    ")},
        {"DATA_WINDOW", "COUNTRY", "nonSelectable", true},
        {"DATA_WINDOW", "REASON_PURCHASED", "editable", true},
        {"DATA_WINDOW", "REASON_PURCHASED", "count", 0}, // the code fills the list
        {"STATUS_WINDOW", "MESSAGE", "number", 3},
        {"STATUS_WINDOW", "MESSAGE", "wordWrap", true},
    };
    const std::pair<const char*, int> lengths[] = {
        {"FIRST_NAME", 74},     {"LAST_NAME", 149},      {"STREET", 149},
        {"CITY", 74},           {"STATE", 74},           {"ZIP", 74},
        {"PHONE", 14},          {"COUNTRY", 149},        {"EMAIL", 74},
        {"PURCHASED_FROM", 74}, {"REASON_PURCHASED", 74}};
    for (const auto& [field, length] : lengths)
        cases.push_back({"DATA_WINDOW", field, "maxLength", length});
    for (const char* name : {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE"})
        cases.insert(cases.end(), {{name, "OK", "event", 10421},
                                   {name, "CANCEL", "event", 10422},
                                   {name, "OK", "default", true}});
    for (const auto& [name, child, property, value] : cases) {
        SCOPED_TRACE((name + "." + child + "." + property).toStdString());
        const auto widget = window(name);
        const auto* object = widget ? widget->findChild<QWidget*>(child) : nullptr;
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->property(property).typeId(), value.typeId());
        EXPECT_EQ(object->property(property), value);
    }
}

TEST_F(WindowDefinitions, StatusMessageHasRoomForTwoLines)
{
    const auto widget = window("STATUS_WINDOW");
    const auto* message = widget ? widget->findChild<QLabel*>("MESSAGE") : nullptr;
    ASSERT_NE(message, nullptr);
    EXPECT_GE(message->minimumHeight(), 2 * QFontMetrics(message->font()).height());
    EXPECT_GE(message->minimumWidth(), 300);
}

TEST_F(WindowDefinitions, TabOrderFollowsTheForm)
{
    const QStringList expected = QString("FIRST_NAME LAST_NAME STREET CITY STATE ZIP PHONE COUNTRY "
                                         "EMAIL PURCHASED_FROM REASON_PURCHASED OK CANCEL")
                                     .split(' ');
    const auto widget = window("DATA_WINDOW");
    QWidget* first = widget ? widget->findChild<QWidget*>(expected.front()) : nullptr;
    ASSERT_NE(first, nullptr);
    // Once round the focus chain; the combo box's own line edit stands for the combo box.
    QStringList order;
    QWidget* current = first;
    do {
        const QWidget* named =
            qobject_cast<QComboBox*>(current->parentWidget()) ? current->parentWidget() : current;
        if ((current->focusPolicy() & Qt::TabFocus) && !current->focusProxy() &&
            (order.isEmpty() || order.back() != named->objectName()))
            order.push_back(named->objectName());
        current = current->nextInFocusChain();
    } while (current != first && current != nullptr);
    EXPECT_EQ(order, expected);
}

TEST_F(WindowDefinitions, MessageTablesHoldTheMessagesAsked)
{
    const std::pair<const char*, const char*> cases[] = {
        {":/p_servic/MSG_TABLE", "209=On-Line Registration"},
        {":/p_direct/MSG_TABLE", "101=Bitmap Files (*.bmp)"},
    };
    for (const auto& [path, line] : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << path;
        EXPECT_TRUE(QString::fromUtf8(file.readAll()).split('\n').contains(line)) << path;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
