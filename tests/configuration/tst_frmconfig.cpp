#include "countries.h"
#include "formdriver.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using configuration::Message;

namespace {

// Root writes into read-only folders, so while a test needs the refusal it acts as "nobody".
class WithoutRootPrivilege {
public:
    WithoutRootPrivilege() : switched_(::geteuid() == 0 && ::seteuid(65534) == 0) {}
    ~WithoutRootPrivilege() {
        if (switched_) (void)::seteuid(0);
    }
    WithoutRootPrivilege(const WithoutRootPrivilege&) = delete;
    WithoutRootPrivilege& operator=(const WithoutRootPrivilege&) = delete;

private:
    bool switched_;
};

QString configPath(const QTemporaryDir& dir) { return dir.filePath(QStringLiteral("config.dat")); }

}  // namespace

class TestFrmConfig : public QObject {
    Q_OBJECT
private slots:
    void countryList();
    void welcome();
    void refusedSave_data();
    void refusedSave();
    void savedFile_data();
    void savedFile();
    void saveReplacesAnOlderProfile();
    void exitSavesNothing();
    void unwritableFolder();
    void interruptedSaves();
    void screenReaderNames();
    void keyboardOnly();
    void countryListTakesNoTyping();
};

void TestFrmConfig::countryList() {
    const QStringList entries = configuration::countryEntries();
    QCOMPARE(entries.size(), 244);
    QCOMPARE(entries.mid(0, 3), QStringList({"CA: Canada", "US: United States", "AF: Afghanistan"}));
    QCOMPARE(entries.last(), QStringLiteral("ZW: Zimbabwe"));

    QSet<QString> codes;
    for (const QString& entry : entries) {
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Z]{2}: \\S.*\\S$")).match(entry).hasMatch(), qPrintable(entry));
        codes.insert(entry.left(2));
    }
    QCOMPARE(codes.size(), 244);

    // After the first two, alphabetical by name, with the one old exception kept.
    QStringList outOfOrder;
    for (qsizetype i = 3; i < entries.size(); ++i) {
        if (entries[i - 1].mid(4).compare(entries[i].mid(4), Qt::CaseInsensitive) > 0)
            outOfOrder << entries[i - 1] + " > " + entries[i];
    }
    QCOMPARE(outOfOrder, QStringList({"VG: Virgin Islands (British) > VI: Virgin Islands"}));

    // Every spelling, capital and cut-short name exactly as players know them.
    QCOMPARE(QCryptographicHash::hash(entries.join('\n').toUtf8(), QCryptographicHash::Sha256).toHex(),
             QByteArray("8b703227bb9c3a15e226fbf043c772448af76c300882fb0538057781476457c0"));

    QTemporaryDir dir;
    FormDriver driver(dir.path());
    QCOMPARE(driver.form->cboCountry->count(), 244);
    for (int i = 0; i < 244; ++i) QCOMPARE(driver.form->cboCountry->itemText(i), entries[i]);
    QCOMPARE(driver.form->cboCountry->currentIndex(), -1);
}

void TestFrmConfig::welcome() {
    QTemporaryDir dir;
    FormDriver driver(dir.path());
    QVERIFY(driver.messages.isEmpty());
    driver.form->greet();
    QCOMPARE(driver.messages.size(), 1);
    QCOMPARE(driver.messages[0].icon, QMessageBox::NoIcon);
    QCOMPARE(driver.messages[0].title, QStringLiteral("welcome"));
    QCOMPARE(driver.messages[0].text,
             QStringLiteral("on the next screen you will be asked to enter some information that will be used by "
                            "the game ,feelds marked with an asterisc are required , other feelds are optional."));
    QCOMPARE(driver.form->windowTitle(), QStringLiteral("Configuration"));
}

void TestFrmConfig::refusedSave_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("focus");

    const QString required = "please fill in the required feelds";
    const QString noLast = "you did not type your last name!";
    const QString noFirst = "you did not type your first name!";
    const QString noCountry = "please select a country!";
    const QString unreadable = "commas and double quotes cannot be saved, please remove them from this field!";
    QTest::newRow("nothing at all") << "" << "" << "" << "" << "Error!" << required << "txt1";
    QTest::newRow("only an e-mail and a country")
        << "" << "" << "a@b.c" << "GB: United Kingdom" << "Error!" << required << "txt1";
    QTest::newRow("only the first name") << "John" << "" << "" << "" << "Error!" << noLast << "txt2";
    QTest::newRow("only the last name") << "" << "Smith" << "" << "CA: Canada" << "Error!" << noFirst << "txt1";
    QTest::newRow("no country") << "John" << "Smith" << "" << "" << "error!" << noCountry << "cboCountry";
    QTest::newRow("comma in the first name")
        << "John, Jr" << "Smith" << "" << "GB: United Kingdom" << "Error!" << unreadable << "txt1";
    QTest::newRow("quote in the last name")
        << "John" << "\"Smithy\"" << "" << "GB: United Kingdom" << "Error!" << unreadable << "txt2";
    QTest::newRow("comma in the e-mail")
        << "John" << "Smith" << "a@b.c,d@e.f" << "GB: United Kingdom" << "Error!" << unreadable << "txt3";
}

void TestFrmConfig::refusedSave() {
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, email);
    QFETCH(QString, country);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, focus);

    QTemporaryDir dir;
    FormDriver driver(dir.path());
    QVERIFY(QTest::qWaitForWindowActive(driver.form.get()));
    driver.fill(first, last, email, country);
    driver.save();

    QCOMPARE(driver.messages.size(), 1);
    QCOMPARE(driver.messages[0].icon, QMessageBox::Critical);
    QCOMPARE(driver.messages[0].title, title);
    QCOMPARE(driver.messages[0].text, text);
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(driver.form->isVisible());
    QCOMPARE(driver.form->txt1->text(), first);
    QCOMPARE(driver.form->txt2->text(), last);
    QCOMPARE(driver.form->txt3->text(), email);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestFrmConfig::savedFile_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty e-mail") << "John" << "Smith" << "" << "GB: United Kingdom"
                                  << QByteArray("John Smith\r\nnun\r\nGB\r\n");
    QTest::newRow("typed e-mail kept as typed") << "John" << "Smith" << " J.Smith@Example.org " << "CA: Canada"
                                                << QByteArray("John Smith\r\n J.Smith@Example.org \r\nCA\r\n");
    QTest::newRow("e-mail \"0\", which the game reads as not filled in")
        << "John" << "Smith" << " 0 " << "GB: United Kingdom" << QByteArray("John Smith\r\nnun\r\nGB\r\n");
    QTest::newRow("last name of one blank") << "John" << " " << "" << "US: United States"
                                            << QByteArray("John  \r\nnun\r\nUS\r\n");
    QTest::newRow("first name of blanks") << "  " << "Smith" << "" << "ZW: Zimbabwe"
                                          << QByteArray("   Smith\r\nnun\r\nZW\r\n");
    QTest::newRow("names outside ASCII") << "J\u00fcrgen" << "M\u00fcller" << "" << "DE: Germany"
                                         << QByteArray("J\xC3\xBCrgen M\xC3\xBCller\r\nnun\r\nDE\r\n");
    QTest::newRow("second Korea") << "Kim" << "Lee" << "kim@example.org" << "KR: Korea"
                                  << QByteArray("Kim Lee\r\nkim@example.org\r\nKR\r\n");
}

void TestFrmConfig::savedFile() {
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, email);
    QFETCH(QString, country);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    FormDriver driver(dir.path());
    driver.fill(first, last, email, country);
    QCOMPARE(driver.form->cboCountry->currentText(), country);
    driver.save();

    QCOMPARE(readAll(configPath(dir)), bytes);
    QVERIFY(QFileInfo(configPath(dir)).permissions() & QFile::ReadOther);  // as any new file
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList("config.dat"));
    QCOMPARE(driver.messages.size(), 1);
    QCOMPARE(driver.messages[0].icon, QMessageBox::NoIcon);
    QCOMPARE(driver.messages[0].title, QStringLiteral("Zorvan configuration"));
    QCOMPARE(driver.messages[0].text, QStringLiteral("congratulations ! your data was successfully saved!"));
    QVERIFY(!driver.form->isVisible());
}

void TestFrmConfig::saveReplacesAnOlderProfile() {
    QTemporaryDir dir;
    {
        QFile old(configPath(dir));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("Somebody With A Much Longer Name\r\nsomebody@example.org\r\nCA\r\nextra\r\n");
    }
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(configPath(dir)).constData(), &before), 0);
    FormDriver driver(dir.path());
    driver.fill("Al", "Bo", "", "GB: United Kingdom");
    driver.save();
    QCOMPARE(readAll(configPath(dir)), QByteArray("Al Bo\r\nnun\r\nGB\r\n"));
    // A new file took the old one's place, rather than the old one being rewritten in place,
    // which a crash could leave half written.
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(configPath(dir)).constData(), &after), 0);
    QVERIFY(after.st_ino != before.st_ino);
    QVERIFY(QFileInfo(configPath(dir)).permissions() & QFile::ReadOther);
}

void TestFrmConfig::exitSavesNothing() {
    for (bool typed : {false, true}) {
        QTemporaryDir dir;
        FormDriver driver(dir.path());
        if (typed) driver.fill("John", "Smith", "", "GB: United Kingdom");
        driver.form->cmdExit->setFocus();
        QTest::keyClick(driver.form->cmdExit, Qt::Key_Return);
        QCOMPARE(driver.messages.size(), 1);
        QCOMPARE(driver.messages[0].icon, QMessageBox::NoIcon);
        QCOMPARE(driver.messages[0].title, QStringLiteral("Zorvan configuration"));
        QCOMPARE(driver.messages[0].text, QStringLiteral("your data was not saved"));
        QVERIFY(!driver.form->isVisible());
        QVERIFY(!QFile::exists(configPath(dir)));
    }
}

void TestFrmConfig::unwritableFolder() {
    const QByteArray old = "Old Profile\r\nnun\r\nCA\r\n";
    for (bool hadProfile : {false, true}) {
        QTemporaryDir dir;
        if (hadProfile) {
            QFile file(configPath(dir));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
        }
        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(::chmod(folder.constData(), 0555) == 0);
        const auto writable = qScopeGuard([&] { (void)::chmod(folder.constData(), 0755); });
        FormDriver driver(dir.path());
        driver.fill("John", "Smith", "", "GB: United Kingdom");
        {
            WithoutRootPrivilege asPlayer;
            driver.save();
        }

        QCOMPARE(driver.messages.size(), 1);
        QCOMPARE(driver.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(driver.messages[0].title, QStringLiteral("Error!"));
        QVERIFY2(driver.messages[0].text.startsWith("your data could not be saved!"),
                 qPrintable(driver.messages[0].text));
        QVERIFY2(driver.messages[0].text.contains(dir.path()), qPrintable(driver.messages[0].text));
        QVERIFY(driver.form->isVisible());
        QCOMPARE(driver.form->txt1->text(), QStringLiteral("John"));
        QCOMPARE(driver.form->cboCountry->currentText(), QStringLiteral("GB: United Kingdom"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 hadProfile ? QStringList("config.dat") : QStringList());
        if (hadProfile) QCOMPARE(readAll(configPath(dir)), old);

        // Once the folder can be written to, the same form saves.
        QVERIFY(::chmod(folder.constData(), 0755) == 0);
        driver.save();
        QCOMPARE(readAll(configPath(dir)), QByteArray("John Smith\r\nnun\r\nGB\r\n"));
        QCOMPARE(driver.messages.size(), 2);
        QVERIFY(!driver.form->isVisible());
    }
}

void TestFrmConfig::interruptedSaves() {
    // What a save cut short left goes at the next start; nothing else in the folder does.
    QTemporaryDir dir;
    const QStringList kept{QStringLiteral("config.dat"), QStringLiteral("config.dat.bak"),
                           QStringLiteral("config.dat.Ab12Cd7"), QStringLiteral("keys.dat.Ab12Cd")};
    for (const QString& name : kept + QStringList{QStringLiteral("config.dat.Ab12Cd"), QStringLiteral("config.dat.zzzzzz")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Old Profile\r\nnun\r\nCA\r\n");
    }
    {
        FormDriver driver(dir.path());
        QStringList names = QDir(dir.path()).entryList(QDir::Files);
        QStringList expected = kept;
        names.sort();
        expected.sort();
        QCOMPARE(names, expected);
    }
    // A save that fails once its temporary file is written (the name is taken by a folder)
    // leaves no temporary file.
    QTemporaryDir blocked;
    QVERIFY(QDir(blocked.path()).mkpath(QStringLiteral("config.dat/inside")));
    FormDriver driver(blocked.path());
    driver.fill("John", "Smith", "", "GB: United Kingdom");
    driver.save();
    QCOMPARE(driver.messages.size(), 1);
    QCOMPARE(driver.messages[0].icon, QMessageBox::Critical);
    QCOMPARE(QDir(blocked.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList("config.dat"));
}

void TestFrmConfig::screenReaderNames() {
    QTemporaryDir dir;
    FormDriver driver(dir.path());
    configuration::frmconfig& form = *driver.form;

    const struct {
        QWidget* control;
        QLabel* label;
        QString name;
    } fields[] = {{form.txt1, form.lbl1, "First name"},
                  {form.txt2, form.lbl2, "Last Name"},
                  {form.txt3, form.lbl3, "Email Address"},
                  {form.cboCountry, form.lbl4, "please select a country"},
                  {form.cmdSave, nullptr, "Save"},
                  {form.cmdExit, nullptr, "Exit"}};
    for (const auto& field : fields) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field.control);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), field.name);
        if (!field.label) continue;
        QCOMPARE(field.label->buddy(), field.control);
        QCOMPARE(QAccessible::queryAccessibleInterface(field.label)->text(QAccessible::Name), field.name);
    }
    // The asterisk is seen, and heard as "required" rather than read out.
    QCOMPARE(form.lbl1->text(), QStringLiteral("*&First name"));
    QCOMPARE(form.lbl2->text(), QStringLiteral("*&Last Name"));
    QCOMPARE(QAccessible::queryAccessibleInterface(form.txt1)->text(QAccessible::Description), QStringLiteral("required"));
    QCOMPARE(form.cmdSave->text(), QStringLiteral("&Save"));
    QCOMPARE(form.cmdExit->text(), QStringLiteral("&Exit"));
}

void TestFrmConfig::keyboardOnly() {
    QTemporaryDir dir;
    FormDriver driver(dir.path());
    QVERIFY(QTest::qWaitForWindowActive(driver.form.get()));
    const auto focused = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };

    // Tab order, round the form and back to the start.
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        order << focused();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"txt1", "txt2", "txt3", "cboCountry", "cmdSave", "cmdExit", "txt1"}));

    // Label mnemonics reach their fields.
    QTest::keyClick(driver.form.get(), Qt::Key_C, Qt::AltModifier);
    QCOMPARE(focused(), QStringLiteral("cboCountry"));
    QTest::keyClick(driver.form.get(), Qt::Key_F, Qt::AltModifier);
    QCOMPARE(focused(), QStringLiteral("txt1"));

    QTest::keyClicks(QApplication::focusWidget(), "John");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), "Smith");
    QTest::keyClick(driver.form.get(), Qt::Key_C, Qt::AltModifier);
    QTest::keyClicks(QApplication::focusWidget(), "GB");  // the entries start with their codes
    QCOMPARE(driver.form->cboCountry->currentText(), QStringLiteral("GB: United Kingdom"));
    QTest::keyClick(driver.form.get(), Qt::Key_S, Qt::AltModifier);  // clicks after a short flash

    QTRY_VERIFY(!driver.form->isVisible());
    QCOMPARE(readAll(configPath(dir)), QByteArray("John Smith\r\nnun\r\nGB\r\n"));
}

// The list is editable only so that a screen reader reads it: letters find an entry, and the
// text shown is always the entry that will be saved.
void TestFrmConfig::countryListTakesNoTyping() {
    QTemporaryDir dir;
    FormDriver driver(dir.path());
    QComboBox* list = driver.form->cboCountry;
    QVERIFY(QTest::qWaitForWindowActive(driver.form.get()));
    list->setFocus();
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->currentText(), QString());
    QTest::keyClicks(QApplication::focusWidget(), "gb");
    QCOMPARE(list->currentText(), QStringLiteral("GB: United Kingdom"));
    QTest::keyClicks(QApplication::focusWidget(), "q");  // no "GBQ": a new first letter
    QCOMPARE(list->currentText(), QStringLiteral("QA: Qatar"));
    QTest::keyClicks(QApplication::focusWidget(), "!");  // nothing starts so: nothing changes
    QCOMPARE(list->currentText(), QStringLiteral("QA: Qatar"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(list->currentText(), QStringLiteral("RE: Reunion"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QCOMPARE(list->count(), 244);
    QCOMPARE(list->currentText(), list->itemText(list->currentIndex()));
    QCOMPARE(list->currentText(), QStringLiteral("RE: Reunion"));
}

QTEST_MAIN(TestFrmConfig)
#include "tst_frmconfig.moc"
