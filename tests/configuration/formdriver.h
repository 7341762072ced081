#pragma once
// Drives a frmconfig as the player would, with its message boxes recorded instead of shown.

#include "frmconfig.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QTest>

#include <memory>

struct FormDriver {
    explicit FormDriver(const QString& folder)
        : form(std::make_unique<configuration::frmconfig>(
              folder, [this](QWidget*, const configuration::Message& m) { messages.append(m); })) {
        form->show();
    }

    // Types into the boxes and picks the country whose entry is `country` (none when empty).
    void fill(const QString& first, const QString& last, const QString& email, const QString& country = {}) {
        form->txt1->setText(first);
        form->txt2->setText(last);
        form->txt3->setText(email);
        form->cboCountry->setCurrentIndex(country.isEmpty() ? -1 : form->cboCountry->findText(country));
    }

    // Tabs to Save and presses Space on it.
    void save() {
        form->cmdSave->setFocus();
        QTest::keyClick(form->cmdSave, Qt::Key_Space);
    }

    QList<configuration::Message> messages;
    std::unique_ptr<configuration::frmconfig> form;
};

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
