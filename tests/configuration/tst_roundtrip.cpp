// A profile saved by Configuration is read back by the game into the values its score
// client sends.

#include "countries.h"
#include "formdriver.h"
#include "game/profile.h"

#include <QTemporaryDir>
#include <QTest>

class TestRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void profile_data();
    void profile();
    void everyCountry();
};

void TestRoundTrip::profile_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("name");  // as the game reads it
    QTest::addColumn<QString>("sentEmail");

    QTest::newRow("no e-mail") << "John" << "Smith" << "" << "GB: United Kingdom" << "John Smith" << "nun";
    QTest::newRow("e-mail") << "Ana" << "de la Cruz" << "ana.cruz+zv@example.org" << "ES: Spain"
                            << "Ana de la Cruz" << "ana.cruz+zv@example.org";
    QTest::newRow("e-mail \"0\"") << "John" << "Smith" << "0" << "GB: United Kingdom" << "John Smith" << "nun";
    QTest::newRow("punctuation") << "D'Arcy" << "O'Neil-Smith;" << "x@y" << "IE: Ireland" << "D'Arcy O'Neil-Smith;"
                                 << "x@y";
    // Blanks at either end of a line are skipped by the game's reader.
    QTest::newRow("last name of one blank") << "John" << " " << "" << "CA: Canada" << "John" << "nun";
    QTest::newRow("blanks around") << "  John" << "Smith  " << "  j@s.org " << "US: United States" << "John Smith"
                                   << "j@s.org";
    QTest::newRow("outside ASCII") << "J\u00fcrgen" << "M\u00fcller" << "" << "DE: Germany"
                                   << "J\u00fcrgen M\u00fcller" << "nun";
}

void TestRoundTrip::profile() {
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, email);
    QFETCH(QString, country);
    QFETCH(QString, name);
    QFETCH(QString, sentEmail);

    QTemporaryDir dir;
    FormDriver driver(dir.path());
    driver.fill(first, last, email, country);
    driver.save();
    const QByteArray bytes = readAll(dir.filePath("config.dat"));
    QVERIFY(!bytes.isEmpty());

    const zorvan::ProfileRead read = zorvan::parseProfile(bytes.toStdString());
    QCOMPARE(read.status, zorvan::ProfileStatus::Ok);
    QCOMPARE(QString::fromStdString(read.profile.name), name);
    QCOMPARE(QString::fromStdString(read.profile.email), sentEmail);
    QCOMPARE(QString::fromStdString(read.profile.country), country.left(2));
}

void TestRoundTrip::everyCountry() {
    QTemporaryDir dir;
    for (const QString& entry : configuration::countryEntries()) {
        FormDriver driver(dir.path());
        driver.fill("Pat", "Doe", "", entry);
        driver.save();
        const zorvan::ProfileRead read = zorvan::parseProfile(readAll(dir.filePath("config.dat")).toStdString());
        QCOMPARE(read.status, zorvan::ProfileStatus::Ok);
        QCOMPARE(QString::fromStdString(read.profile.country), entry.left(2));
    }
}

QTEST_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
