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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResource>
#include <QUiLoader>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Each store is registered once, under its own root.
struct StoreFile
{
    const char* fileName;
    const char* root;
    std::vector<QString> entries;
};

const std::vector<StoreFile> kStores = {
    {"ROBJECTS.DAT",
     "/robjects",
     {"COUNTRY", "DATA_WINDOW", "DIALING_CONFIGURE", "METHOD", "STATUS_WINDOW"}},
    {"p_servic.z_t", "/p_servic", {"MSG_TABLE", "ZAF_SERVICE_MANAGER"}},
    {"p_direct.z_t", "/p_direct", {"MSG_TABLE"}},
};

QString binPath(const QString& fileName)
{
    return QDir(qEnvironmentVariable("REGISTER_BIN_DIR")).filePath(fileName);
}

class WindowDefinitions : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        for (const auto& store : kStores)
            QResource::registerResource(binPath(store.fileName), store.root);
    }

    static void TearDownTestSuite()
    {
        for (const auto& store : kStores)
            QResource::unregisterResource(binPath(store.fileName), store.root);
    }

    static std::unique_ptr<QWidget> load(const QString& root, const QString& name)
    {
        QFile file(":" + root + "/" + name);
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        QUiLoader loader;
        return std::unique_ptr<QWidget>(loader.load(&file));
    }

    static std::unique_ptr<QWidget> window(const QString& name) { return load("/robjects", name); }
};

// The letter after a single '&', lower-cased; 0 when the text has no mnemonic.
QChar mnemonic(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return text[i + 1].toLower();
        ++i;
    }
    return QChar();
}

std::map<int, QString> readMessageTable(const QString& path)
{
    std::map<int, QString> table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return table;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const auto equals = line.indexOf('=');
        table[line.left(equals).toInt()] = line.mid(equals + 1);
    }
    return table;
}

TEST_F(WindowDefinitions, StoresHoldExactlyTheirDefinitions)
{
    for (const auto& store : kStores) {
        SCOPED_TRACE(store.fileName);
        ASSERT_TRUE(QFile::exists(binPath(store.fileName)));
        const auto entries = QDir(QString(":") + store.root).entryList(QDir::Files, QDir::Name);
        EXPECT_EQ(std::vector<QString>(entries.begin(), entries.end()), store.entries);
    }
}

TEST_F(WindowDefinitions, MissingStoreFailsToRegister)
{
    EXPECT_FALSE(QResource::registerResource(binPath("NOSUCH.DAT"), "/missing"));
}

TEST_F(WindowDefinitions, EachDefinitionIsADialogNamedAfterItself)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"/robjects", "COUNTRY"},       {"/robjects", "METHOD"},
        {"/robjects", "DATA_WINDOW"},   {"/robjects", "DIALING_CONFIGURE"},
        {"/robjects", "STATUS_WINDOW"}, {"/p_servic", "ZAF_SERVICE_MANAGER"},
    };
    for (const auto& [root, name] : cases) {
        SCOPED_TRACE(name.toStdString());
        const auto widget = load(root, name);
        ASSERT_NE(widget, nullptr);
        EXPECT_NE(qobject_cast<QDialog*>(widget.get()), nullptr);
        EXPECT_EQ(widget->objectName(), name);
        EXPECT_FALSE(widget->windowTitle().isEmpty());
    }
}

// The complete set of controls a person can operate in each window: a missing identifier breaks
// the window class, an extra one (a serial-number field, say) would be a control that does nothing.
TEST_F(WindowDefinitions, ControlsCarryTheIdentifiersTheCodeLooksUp)
{
    const std::map<QString, std::map<QString, QString>> cases = {
        {"COUNTRY",
         {{"USA", "QRadioButton"},
          {"CANADA", "QRadioButton"},
          {"OTHER", "QRadioButton"},
          {"OK", "QPushButton"},
          {"CANCEL", "QPushButton"}}},
        {"METHOD",
         {{"INTERNET", "QRadioButton"},
          {"MAIL", "QRadioButton"},
          {"FAX", "QRadioButton"},
          {"MODEM", "QRadioButton"},
          {"OK", "QPushButton"},
          {"CANCEL", "QPushButton"}}},
        {"DATA_WINDOW",
         {{"FIRST_NAME", "QLineEdit"},
          {"LAST_NAME", "QLineEdit"},
          {"STREET", "QLineEdit"},
          {"CITY", "QLineEdit"},
          {"STATE", "QLineEdit"},
          {"ZIP", "QLineEdit"},
          {"PHONE", "QLineEdit"},
          {"COUNTRY", "QLineEdit"},
          {"EMAIL", "QLineEdit"},
          {"PURCHASED_FROM", "QLineEdit"},
          {"REASON_PURCHASED", "QComboBox"},
          {"OK", "QPushButton"},
          {"CANCEL", "QPushButton"}}},
        {"DIALING_CONFIGURE",
         {{"PREFIX", "QLineEdit"},
          {"TONE", "QRadioButton"},
          {"PULSE", "QRadioButton"},
          {"OK", "QPushButton"},
          {"CANCEL", "QPushButton"}}},
        {"STATUS_WINDOW", {}},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name.toStdString());
        const auto widget = window(name);
        ASSERT_NE(widget, nullptr);
        std::map<QString, QString> controls;
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            // The line edit inside the editable combo box belongs to the combo box.
            if (qobject_cast<QComboBox*>(child->parentWidget()))
                continue;
            if (qobject_cast<QLineEdit*>(child) || qobject_cast<QComboBox*>(child) ||
                qobject_cast<QAbstractButton*>(child))
                controls[child->objectName()] = child->metaObject()->className();
        }
        EXPECT_EQ(controls, expected);
    }
}

TEST_F(WindowDefinitions, FieldsHoldNoMoreThanTheRecordCanStore)
{
    const std::vector<std::tuple<QString, QString, int>> cases = {
        {"DATA_WINDOW", "FIRST_NAME", 74},     {"DATA_WINDOW", "LAST_NAME", 149},
        {"DATA_WINDOW", "STREET", 149},        {"DATA_WINDOW", "CITY", 74},
        {"DATA_WINDOW", "STATE", 74},          {"DATA_WINDOW", "ZIP", 74},
        {"DATA_WINDOW", "COUNTRY", 149},       {"DATA_WINDOW", "EMAIL", 74},
        {"DATA_WINDOW", "PURCHASED_FROM", 74}, {"DATA_WINDOW", "PHONE", 14},
        {"DIALING_CONFIGURE", "PREFIX", 73},
    };
    for (const auto& [name, field, maxLength] : cases) {
        SCOPED_TRACE((name + "." + field).toStdString());
        const auto widget = window(name);
        ASSERT_NE(widget, nullptr);
        const auto* edit = widget->findChild<QLineEdit*>(field);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->maxLength(), maxLength);
    }
}

TEST_F(WindowDefinitions, PhoneShowsItsTemplateAroundTheDigits)
{
    const auto widget = window("DATA_WINDOW");
    ASSERT_NE(widget, nullptr);
    auto* phone = widget->findChild<QLineEdit*>("PHONE");
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->inputMask(), "(999) 999-9999");

    const std::vector<std::pair<QString, QString>> cases = {
        {"", "(   )    -    "},
        {"5551234567", "(555) 123-4567"},
        {"555123", "(555) 123-    "},
    };
    for (const auto& [typed, shown] : cases) {
        SCOPED_TRACE(typed.toStdString());
        phone->clear();
        phone->setCursorPosition(0);
        phone->insert(typed);
        EXPECT_EQ(phone->displayText(), shown);
        EXPECT_EQ(phone->displayText().size(), 14);
    }
}

// Values the code reads from dynamic properties and from the standard properties it relies on.
TEST_F(WindowDefinitions, PropertiesCarryTheCodesTheCodeReads)
{
    const std::vector<std::tuple<QString, QString, const char*, QVariant>> cases = {
        {"COUNTRY", "OK", "event", 10421},
        {"COUNTRY", "CANCEL", "event", 10422},
        {"METHOD", "OK", "event", 10421},
        {"METHOD", "CANCEL", "event", 10422},
        {"DATA_WINDOW", "OK", "event", 10421},
        {"DATA_WINDOW", "CANCEL", "event", 10422},
        {"DIALING_CONFIGURE", "OK", "event", 10421},
        {"DIALING_CONFIGURE", "CANCEL", "event", 10422},
        {"COUNTRY", "OK", "default", true},
        {"METHOD", "OK", "default", true},
        {"DATA_WINDOW", "OK", "default", true},
        {"DIALING_CONFIGURE", "OK", "default", true},
        {"DATA_WINDOW", "COUNTRY", "nonSelectable", true},
        {"DATA_WINDOW", "REASON_PURCHASED", "maxLength", 74},
        {"DATA_WINDOW", "REASON_PURCHASED", "editable", true},
        {"STATUS_WINDOW", "MESSAGE", "number", 3},
        {"STATUS_WINDOW", "MESSAGE", "wordWrap", true},
    };
    for (const auto& [name, child, property, value] : cases) {
        SCOPED_TRACE((name + "." + child + "." + property).toStdString());
        const auto widget = window(name);
        ASSERT_NE(widget, nullptr);
        const auto* object = widget->findChild<QWidget*>(child);
        ASSERT_NE(object, nullptr);
        const QVariant actual = object->property(property);
        EXPECT_EQ(actual.typeId(), value.typeId());
        EXPECT_EQ(actual, value);
    }
}

TEST_F(WindowDefinitions, ReasonListIsLeftForTheCodeToFill)
{
    const auto widget = window("DATA_WINDOW");
    ASSERT_NE(widget, nullptr);
    const auto* reason = widget->findChild<QComboBox*>("REASON_PURCHASED");
    ASSERT_NE(reason, nullptr);
    EXPECT_EQ(reason->count(), 0);
}

TEST_F(WindowDefinitions, StatusMessageHasRoomForTwoLines)
{
    const auto widget = window("STATUS_WINDOW");
    ASSERT_NE(widget, nullptr);
    const auto* message = widget->findChild<QLabel*>("MESSAGE");
    ASSERT_NE(message, nullptr);
    EXPECT_GE(message->minimumHeight(), 2 * QFontMetrics(message->font()).height());
    EXPECT_GE(message->minimumWidth(), 300);
}

// Choosing one button of a group must clear the others: the code tests them one after another
// and takes the first that is checked.
TEST_F(WindowDefinitions, ChoicesAreMutuallyExclusive)
{
    const std::vector<std::pair<QString, std::vector<QString>>> cases = {
        {"COUNTRY", {"USA", "CANADA", "OTHER"}},
        {"METHOD", {"INTERNET", "MAIL", "FAX", "MODEM"}},
        {"DIALING_CONFIGURE", {"TONE", "PULSE"}},
    };
    for (const auto& [name, choices] : cases) {
        SCOPED_TRACE(name.toStdString());
        const auto widget = window(name);
        ASSERT_NE(widget, nullptr);
        for (const auto& chosen : choices) {
            auto* button = widget->findChild<QRadioButton*>(chosen);
            ASSERT_NE(button, nullptr);
            button->click();
            for (const auto& other : choices)
                EXPECT_EQ(widget->findChild<QRadioButton*>(other)->isChecked(), other == chosen)
                    << chosen.toStdString() << " clicked, " << other.toStdString();
        }
    }
}

TEST_F(WindowDefinitions, TabOrderFollowsTheForm)
{
    const std::vector<QString> expected = {
        "FIRST_NAME",
        "LAST_NAME",
        "STREET",
        "CITY",
        "STATE",
        "ZIP",
        "PHONE",
        "COUNTRY",
        "EMAIL",
        "PURCHASED_FROM",
        "REASON_PURCHASED",
        "OK",
        "CANCEL",
    };
    const auto widget = window("DATA_WINDOW");
    ASSERT_NE(widget, nullptr);
    auto* first = widget->findChild<QWidget*>(expected.front());
    ASSERT_NE(first, nullptr);

    // Walk the focus chain once round; the combo box's own line edit stands for the combo box.
    std::vector<QString> order;
    QWidget* current = first;
    do {
        if ((current->focusPolicy() & Qt::TabFocus) && !current->focusProxy()) {
            QWidget* named = qobject_cast<QComboBox*>(current->parentWidget())
                                 ? current->parentWidget()
                                 : current;
            if (order.empty() || order.back() != named->objectName())
                order.push_back(named->objectName());
        }
        current = current->nextInFocusChain();
    } while (current != first && current != nullptr);
    EXPECT_EQ(order, expected);
}

// Alt+letter must reach exactly one control in a window, and a label's letter must move the focus
// to the field beside it.
TEST_F(WindowDefinitions, MnemonicsAreUniqueAndLabelsReachTheirFields)
{
    for (const QString name : {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE"}) {
        SCOPED_TRACE(name.toStdString());
        const auto widget = window(name);
        ASSERT_NE(widget, nullptr);
        std::set<QChar> seen;
        for (const auto* label : widget->findChildren<QLabel*>()) {
            const QChar letter = mnemonic(label->text());
            if (letter.isNull())
                continue;
            EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
            EXPECT_TRUE(seen.insert(letter).second) << label->text().toStdString();
        }
        for (const auto* button : widget->findChildren<QAbstractButton*>()) {
            const QChar letter = mnemonic(button->text());
            if (!letter.isNull()) {
                EXPECT_TRUE(seen.insert(letter).second) << button->text().toStdString();
            }
        }
    }
}

TEST_F(WindowDefinitions, MessageTablesHoldTheMessagesAsked)
{
    const std::vector<std::tuple<QString, int, QString>> cases = {
        {":/p_servic/MSG_TABLE", 209, "On-Line Registration"},
        {":/p_direct/MSG_TABLE", 101, "Bitmap Files (*.bmp)"},
    };
    for (const auto& [path, number, text] : cases) {
        SCOPED_TRACE(path.toStdString());
        const auto table = readMessageTable(path);
        ASSERT_TRUE(table.count(number));
        EXPECT_EQ(table.at(number), text);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
