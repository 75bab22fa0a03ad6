#include "app/common/message_service.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {
CMessageService g_default;
CMessageService* g_current = &g_default;
}  // namespace

void CMessageService::Inform(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool CMessageService::Ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int CMessageService::Run(QDialog& dialog) { return dialog.exec(); }

QString CMessageService::AskOpenFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString CMessageService::AskSaveFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

CMessageService& CMessageService::Get() { return *g_current; }

void CMessageService::Install(CMessageService* service) {
    g_current = service ? service : &g_default;
}
