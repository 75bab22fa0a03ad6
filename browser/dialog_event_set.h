// CDialogEventSet ("选择事件发生机制"): when a watched attribute raises its monitor event, on
// every change ("@change") or when its value equals a target ("@" and the target text).
#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;

class CDialogEventSet : public QDialog {
    Q_OBJECT
  public:
    explicit CDialogEventSet(QWidget* parent = nullptr);

    // The condition of the choice on screen.
    QString Condition() const;

    QRadioButton* OnChangeButton() const { return m_onChange; }
    QRadioButton* EqualsTargetButton() const { return m_equals; }
    QLineEdit* TargetEdit() const { return m_target; }

  private:
    QRadioButton* m_onChange;
    QRadioButton* m_equals;
    QLineEdit* m_target;
};
