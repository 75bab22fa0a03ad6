// CDialogSelAttr ("选择属性"): picks component attributes into a result list. On the left the
// device's components (never the "槽位连接线" link components), in the middle the chosen
// component's attributes and then its slots, both filtered by value type, on the right the
// result with "=>" to add and "<=" to remove. The monitoring command uses it with every type,
// ten entries and a condition per entry; the logic analyzer with its own parameters.
//
//     CDialogSelAttr dlg(device, initialList, mask, maximum, askCondition, parent);
//     dlg.Load();                                   // reads the device; false: no tree came
//     if (CMessageService::Get().Run(dlg) == QDialog::Accepted) use(dlg.Result());
//
// User-interface thread only; the device is read in Load() and on each component choice.
#pragma once

#include <QDialog>
#include <cstdint>

class CDevice;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CDialogSelAttr : public QDialog {
    Q_OBJECT
  public:
    static constexpr uint32_t kAllTypes = 0xFFFFFFFFu;

    // initial: entries each ended by ";" (text after the last ";" is dropped); typeMask: bit n
    // admits value type n; maximum: the most entries the result may hold; askCondition: each
    // added entry gets its event condition from CDialogEventSet.
    CDialogSelAttr(CDevice& device, const QString& initial, uint32_t typeMask, int maximum,
                   bool askCondition, QWidget* parent = nullptr);

    // Fills the component tree from the device and the result list from the initial list.
    // False when the device gave no component tree (the tree then stays empty).
    bool Load();

    // The result list's entries, each followed by ";" ("" for an empty list). Valid after OK.
    QString Result() const;
    // The entries on screen.
    QStringList Entries() const;
    // Whether value type `type` passes the mask.
    static bool Admits(uint32_t mask, int type);
    // The pieces of a list text that end with ";", in order.
    static QStringList SplitEntries(const QString& list);

    // "=>" and "<=", as the buttons do.
    void Add();
    void Remove();

    QTreeWidget* ComponentTree() const { return m_tree; }
    QListWidget* AttributeList() const { return m_attributes; }
    QListWidget* ResultList() const { return m_result; }

  private:
    void ShowAttributes(QTreeWidgetItem* item);

    CDevice& m_device;
    QString m_initial;
    uint32_t m_mask;
    int m_maximum;
    bool m_askCondition;
    QTreeWidget* m_tree;
    QListWidget* m_attributes;
    QListWidget* m_result;
};
