// Message boxes, Yes/No questions and modal dialogs go through one service, so that tests can
// answer them without a blocking event loop. User-interface thread only.
#pragma once

#include <QString>

class QDialog;
class QWidget;

class CMessageService {
  public:
    virtual ~CMessageService() = default;

    // A modal message box with an OK button.
    virtual void Inform(QWidget* parent, const QString& text);
    // A modal question with Yes and No and a warning icon; true only for Yes.
    virtual bool Ask(QWidget* parent, const QString& text);
    // A modal question with Yes, No and Cancel and a warning icon (the save question).
    enum class Answer { Yes, No, Cancel };
    virtual Answer AskYesNoCancel(QWidget* parent, const QString& text);
    // Runs a modal dialog; returns its result (QDialog::Accepted or Rejected).
    virtual int Run(QDialog& dialog);
    // Asks for an existing file to open / a file name to save under; "" when cancelled.
    virtual QString AskOpenFile(QWidget* parent, const QString& filter);
    virtual QString AskSaveFile(QWidget* parent, const QString& filter);

    // The service in use. Install replaces it (nullptr restores the default); the caller keeps
    // ownership of what it installs.
    static CMessageService& Get();
    static void Install(CMessageService* service);
};
