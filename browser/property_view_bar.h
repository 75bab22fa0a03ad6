// CPropertyViewBar: the content of the "属性" pane. It lists the attributes of the component
// selected anywhere in the program, or one slot of it, and writes every value the user
// changes straight to the device; it keeps nothing of the device's data beyond the rows on
// screen. User-interface thread only; every device call blocks until its reply or time-out.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "app/common/pane_hooks.h"
#include "browser/property_model.h"

class CDevice;
class QTreeView;

// The execute button of a command row: a release of the left button over it carries the
// command out (every press, no confirmation), then the click completes as usual.
class CExecButton : public QPushButton {
    Q_OBJECT
  public:
    CExecButton(std::function<void()> execute, QWidget* parent);

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    std::function<void()> m_execute;
};

class CPropertyViewBar : public QWidget, public IPropertyGrid {
    Q_OBJECT
  public:
    static constexpr int kPaneId = 150;
    // The longest component name the pane holds, in GBK bytes; longer names are refused.
    static constexpr int kMaxNameBytes = 63;

    explicit CPropertyViewBar(CDevice& device, QWidget* parent = nullptr);
    ~CPropertyViewBar() override;

    // IPropertyGrid
    void ShowComponent(const QString& name, bool force) override;
    void Empty() override;

    // Where NOTIFY_COMPONENT_CHANGED and NOTIFY_COMMENT_CHANGED are posted (the main frame).
    void SetNotifyTarget(QObject* target) { m_notifyTarget = target; }
    // The widget whose window title shows the pane title (the dock).
    void SetTitleTarget(QWidget* target);

    const QString& CurrentComponent() const { return m_component; }
    const QString& PaneTitle() const { return m_title; }
    CPropertyModel* Model() const { return m_model; }
    QTreeView* Grid() const { return m_grid; }
    // The execute button of row, or nullptr when it is not a command row.
    CExecButton* ExecButton(int row) const;

  private:
    void ShowSlot(const QString& name);
    void SetRows(PropRows rows);
    void SetTitle(const QString& title);
    void WriteRow(int row);
    void Execute(const QString& attribute);
    void Post(int code);

    CDevice& m_device;
    CPropertyModel* m_model;
    QTreeView* m_grid;
    QString m_component;
    QString m_title;
    QPointer<QObject> m_notifyTarget;
    QPointer<QWidget> m_titleTarget;
};
