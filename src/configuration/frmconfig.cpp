#include "frmconfig.h"

#include "countries.h"
#include "profile_form.h"

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

QString fromShared(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string toShared(const QString& text) { return text.toStdU16String(); }

Message fromShared(const profile::Notice& notice) {
    return {notice.icon == profile::Icon::critical ? QMessageBox::Critical : QMessageBox::NoIcon,
            fromShared(notice.title), fromShared(notice.text)};
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
    gameTitle = fromShared(profile::kGameTitle);

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
    showMessage_(this, fromShared(profile::welcome()));
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

void frmconfig::refuse(const Message& message, QWidget* focus) {
    showMessage_(this, message);
    // Take the keyboard back from the closed box even where no window manager hands it over.
    activateWindow();
    focus->setFocus(Qt::OtherFocusReason);
}

void frmconfig::cmdSaveClick() {
    // By its text, so the list shown may differ from the shared one in order or in entries.
    const int country =
        cboCountry->currentIndex() < 0 ? -1 : profile::countryIndex(toShared(cboCountry->currentText()));
    const profile::Entries entries{toShared(txt1->text()), toShared(txt2->text()), toShared(txt3->text()), country};
    const auto result = profile::save(
        entries, toShared(QDir::toNativeSeparators(programFolder_)),
        [this](std::string_view bytes, std::u16string& reason) {
            profileBytes_ = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
            QString error;
            if (writeConfigFile(&error)) return true;
            reason = toShared(error);
            return false;
        });
    const Message message = fromShared(result.notice);
    switch (result.outcome) {
    case profile::SaveResult::Outcome::refused: {
        QWidget* const focus[] = {txt1, txt2, txt3, cboCountry};
        return refuse(message, focus[static_cast<int>(result.focus)]);
    }
    case profile::SaveResult::Outcome::notWritten:
        showMessage_(this, message);
        activateWindow();
        return;
    case profile::SaveResult::Outcome::saved:
        showMessage_(this, message);
        close();
        return;
    }
}

void frmconfig::cmdExitClick() {
    showMessage_(this, fromShared(profile::notSaved()));
    close();
}

bool frmconfig::writeConfigFile(QString* error) {
    const QByteArray& bytes = profileBytes_;
    QSaveFile file(QDir(programFolder_).filePath(QStringLiteral("config.dat")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace configuration
