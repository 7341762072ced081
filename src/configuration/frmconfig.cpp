#include "frmconfig.h"

#include "countries.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>

#include <utility>

namespace configuration {
namespace {

// Labels carry a mnemonic so Alt+letter jumps to their field; screen readers and the
// accessible names get the text without the ampersand.
QLabel* makeLabel(const QString& textWithMnemonic, QWidget* parent) {
    auto* label = new QLabel(textWithMnemonic, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void describe(QWidget* control, QLabel* label, const QString& name, const QString& description = {}) {
    label->setBuddy(control);
    // A screen reader names the field by its label: the label's accessible name too goes
    // without the asterisk.
    label->setAccessibleName(name);
    control->setAccessibleName(name);
    if (!description.isEmpty()) control->setAccessibleDescription(description);
}

// The game reads config.dat as comma- and line-separated values, so these would split a
// value and shift the ones after it.
bool breaksProfileFile(const QString& text) {
    for (QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') return true;
    }
    return false;
}

// QSaveFile writes through "config.dat.XXXXXX" where the system offers no unnamed temporary
// file; a save cut short leaves that behind, and nothing else in the folder has its name.
void removeInterruptedSaves(const QString& programFolder) {
    static const QRegularExpression temporary(QStringLiteral("^config\\.dat\\.[A-Za-z0-9]{6}$"));
    QDir folder(programFolder);
    for (const QString& name : folder.entryList({QStringLiteral("config.dat.*")}, QDir::Files | QDir::Hidden))
        if (temporary.match(name).hasMatch()) folder.remove(name);
}

}  // namespace

void showModalMessage(QWidget* parent, const Message& message) {
    QMessageBox box(message.icon, message.title, message.text, QMessageBox::Ok, parent);
    box.exec();
}

frmconfig::frmconfig(QString programFolder, MessageBoxFn showMessage, QWidget* parent)
    : QWidget(parent), programFolder_(std::move(programFolder)), showMessage_(std::move(showMessage)) {
    removeInterruptedSaves(programFolder_);
    setObjectName(QStringLiteral("frmconfig"));
    setWindowTitle(QStringLiteral("Configuration"));
    gameTitle = QStringLiteral("Zorvan");

    lbl1 = makeLabel(QStringLiteral("*&First name"), this);
    lbl2 = makeLabel(QStringLiteral("*&Last Name"), this);
    lbl3 = makeLabel(QStringLiteral("Email &Address"), this);
    lbl4 = makeLabel(QStringLiteral("please select a &country"), this);
    txt1 = new QLineEdit(this);
    txt2 = new QLineEdit(this);
    txt3 = new QLineEdit(this);
    // Editable, with the text read-only: a screen reader reads such a list's entry at every
    // Up and Down, which it does not for a plain drop-down list.
    cboCountry = new QComboBox(this);
    cboCountry->setEditable(true);
    cboCountry->setInsertPolicy(QComboBox::NoInsert);
    cboCountry->setCompleter(nullptr);
    cboCountry->lineEdit()->setReadOnly(true);
    cboCountry->installEventFilter(this);
    cboCountry->lineEdit()->installEventFilter(this);
    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdExit = new QPushButton(QStringLiteral("&Exit"), this);

    const std::pair<QObject*, const char*> names[] = {
        {lbl1, "lbl1"}, {lbl2, "lbl2"}, {lbl3, "lbl3"}, {lbl4, "lbl4"}, {txt1, "txt1"},
        {txt2, "txt2"}, {txt3, "txt3"}, {cboCountry, "cboCountry"}, {cmdSave, "cmdSave"},
        {cmdExit, "cmdExit"}};
    for (const auto& [object, name] : names) object->setObjectName(QLatin1String(name));

    // The asterisk stays on the visible labels; a screen reader says "required" from the
    // description instead of reading it as "star".
    const QString required = QStringLiteral("required");
    describe(txt1, lbl1, QStringLiteral("First name"), required);
    describe(txt2, lbl2, QStringLiteral("Last Name"), required);
    describe(txt3, lbl3, QStringLiteral("Email Address"), QStringLiteral("optional"));
    describe(cboCountry, lbl4, QStringLiteral("please select a country"), required);
    cmdSave->setAccessibleName(QStringLiteral("Save"));
    cmdExit->setAccessibleName(QStringLiteral("Exit"));
    // Enter presses the focused button, as keyboard users expect.
    cmdSave->setAutoDefault(true);
    cmdExit->setAutoDefault(true);

    // The three text boxes side by side under their labels, the country list below them,
    // the buttons at the bottom.
    auto* grid = new QGridLayout(this);
    grid->addWidget(lbl1, 0, 0);
    grid->addWidget(lbl2, 0, 1);
    grid->addWidget(lbl3, 0, 2);
    grid->addWidget(txt1, 1, 0);
    grid->addWidget(txt2, 1, 1);
    grid->addWidget(txt3, 1, 2);
    grid->addWidget(lbl4, 2, 0, 1, 3);
    grid->addWidget(cboCountry, 3, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdExit);
    grid->addLayout(buttons, 4, 0, 1, 3);

    // A line edit reports its caret as moved the first time it takes the focus, just before
    // the focus itself; a screen reader then moves there silently and drops the focus as old
    // news. Placing the caret now, while nothing listens, keeps that first move from happening.
    for (QLineEdit* box : {txt1, txt2, txt3}) {
        box->setText(QStringLiteral(" "));
        box->clear();
    }

    setTabOrder(txt1, txt2);
    setTabOrder(txt2, txt3);
    setTabOrder(txt3, cboCountry);
    setTabOrder(cboCountry, cmdSave);
    setTabOrder(cmdSave, cmdExit);
    txt1->setFocus();

    connect(cmdSave, &QPushButton::clicked, this, &frmconfig::cmdSaveClick);
    connect(cmdExit, &QPushButton::clicked, this, &frmconfig::cmdExitClick);

    cboCountry->clear();
    fillCountryList();
}

void frmconfig::greet() {
    showMessage_(this, {QMessageBox::NoIcon, QStringLiteral("welcome"),
                        QStringLiteral("on the next screen you will be asked to enter some information "
                                       "that will be used by the game ,feelds marked with an asterisc are "
                                       "required , other feelds are optional.")});
}

bool frmconfig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || (watched != cboCountry && watched != cboCountry->lineEdit()))
        return QWidget::eventFilter(watched, event);
    // The entry cannot be typed over: letters find the first entry that starts with them, as
    // in a list, and what is shown is always the entry that is chosen.
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.isEmpty() || !text.at(0).isPrint() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return QWidget::eventFilter(watched, event);
    if (!countrySearchClock_.isValid() || countrySearchClock_.elapsed() > QApplication::keyboardInputInterval())
        countrySearch_.clear();
    countrySearchClock_.start();
    countrySearch_ += text;
    int found = cboCountry->findText(countrySearch_, Qt::MatchStartsWith);
    if (found < 0) {
        // A new first letter, as a list takes it.
        countrySearch_ = text;
        found = cboCountry->findText(countrySearch_, Qt::MatchStartsWith);
    }
    if (found >= 0) cboCountry->setCurrentIndex(found);
    return true;
}

void frmconfig::fillCountryList() {
    cboCountry->addItems(countryEntries());
    cboCountry->setCurrentIndex(-1);
}

void frmconfig::refuse(const QString& title, const QString& text, QWidget* focus) {
    showMessage_(this, {QMessageBox::Critical, title, text});
    // Take the keyboard back from the closed box even where no window manager hands it over.
    activateWindow();
    focus->setFocus(Qt::OtherFocusReason);
}

void frmconfig::cmdSaveClick() {
    const QString error = QStringLiteral("Error!");
    if (txt1->text().isEmpty() && txt2->text().isEmpty())
        return refuse(error, QStringLiteral("please fill in the required feelds"), txt1);
    if (txt2->text().isEmpty()) return refuse(error, QStringLiteral("you did not type your last name!"), txt2);
    if (txt1->text().isEmpty()) return refuse(error, QStringLiteral("you did not type your first name!"), txt1);
    if (cboCountry->currentIndex() < 0)
        return refuse(QStringLiteral("error!"), QStringLiteral("please select a country!"), cboCountry);
    for (QLineEdit* box : {txt1, txt2, txt3}) {
        if (breaksProfileFile(box->text()))
            return refuse(error,
                          QStringLiteral("commas and double quotes cannot be saved, "
                                         "please remove them from this field!"),
                          box);
    }

    firstName = txt1->text();
    lastName = txt2->text();
    email = txt3->text();
    // The game takes a "0" (blanks around it skipped) for a profile never filled in and would
    // refuse to start; a player who typed it meant "no e-mail".
    if (email.isEmpty() || email.trimmed() == u"0") email = QStringLiteral("nun");
    countryCode = cboCountry->currentText().left(2);

    QString reason;
    if (!writeConfigFile(&reason)) {
        showMessage_(this, {QMessageBox::Critical, error,
                            QStringLiteral("your data could not be saved! config.dat could not be written "
                                           "in the folder %1: %2. Nothing was changed; please make sure "
                                           "the folder can be written to and save again.")
                                .arg(QDir::toNativeSeparators(programFolder_), reason)});
        activateWindow();
        return;
    }
    showMessage_(this, {QMessageBox::NoIcon, gameTitle + QStringLiteral(" configuration"),
                        QStringLiteral("congratulations ! your data was successfully saved!")});
    close();
}

void frmconfig::cmdExitClick() {
    showMessage_(this, {QMessageBox::NoIcon, gameTitle + QStringLiteral(" configuration"),
                        QStringLiteral("your data was not saved")});
    close();
}

bool frmconfig::writeConfigFile(QString* error) {
    // The system's encoding, which Qt takes to be UTF-8 on Unix.
    const QByteArray bytes = (firstName + u' ' + lastName).toLocal8Bit() + "\r\n" + email.toLocal8Bit() +
                             "\r\n" + countryCode.toLocal8Bit() + "\r\n";
    QSaveFile file(QDir(programFolder_).filePath(QStringLiteral("config.dat")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace configuration
