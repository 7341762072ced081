#pragma once
// The one form of the Configuration program: the player types a first and last name and
// optionally an e-mail address, picks a country, and Save writes config.dat into the player's
// data folder for the game to read at start-up. Every control carries its label as accessible name
// and the whole form works from the keyboard, since most players use a screen reader.

#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace configuration {

struct Message {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Shows a message with only an OK button and returns when the player has closed it.
using MessageBoxFn = std::function<void(QWidget* parent, const Message& message)>;

// The real one: a modal QMessageBox.
void showModalMessage(QWidget* parent, const Message& message);

class frmconfig : public QWidget {
    Q_OBJECT
public:
    // `programFolder`: where config.dat is written, the player's data folder that the game reads.
    explicit frmconfig(QString programFolder, MessageBoxFn showMessage = showModalMessage,
                       QWidget* parent = nullptr);

    // The welcome message, shown once before the form appears.
    void greet();

    // Writes config.dat as the last save put it together: the whole file goes to a temporary
    // file in the same folder, which then replaces the old one, so an interrupted save never
    // leaves a broken profile. Returns false, with the reason in `error`, when nothing was
    // written.
    bool writeConfigFile(QString* error);

    QString programFolder() const { return programFolder_; }

    QLabel* lbl1;
    QLabel* lbl2;
    QLabel* lbl3;
    QLabel* lbl4;
    QLineEdit* txt1;  // first name
    QLineEdit* txt2;  // last name
    QLineEdit* txt3;  // e-mail address, optional
    QComboBox* cboCountry;
    QPushButton* cmdSave;
    QPushButton* cmdExit;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillCountryList();
    void cmdSaveClick();
    void cmdExitClick();
    void refuse(const Message& message, QWidget* focus);

    QString programFolder_;
    MessageBoxFn showMessage_;
    QString gameTitle;
    // The whole of config.dat, filled at save time.
    QByteArray profileBytes_;
    // Letters typed in the country list, to find the entry that starts with them.
    QString countrySearch_;
    QElapsedTimer countrySearchClock_;
};

}  // namespace configuration
