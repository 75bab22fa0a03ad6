// The grid control on Qt's model/view classes: a two-column model over the pane's rows
// (names, then values; changed values bold) and the delegate that draws the name after an
// empty square and edits a value with the editor its row kind needs.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include "browser/property_rows.h"

class CPropertyModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kNameColumn = 0;
    static constexpr int kValueColumn = 1;

    explicit CPropertyModel(QObject* parent = nullptr);
    ~CPropertyModel() override;

    // Replaces every row (the old ones are destroyed).
    void SetRows(PropRows rows);
    void Clear() { SetRows({}); }
    const PropRows& Rows() const { return m_rows; }
    CBaseProp* Row(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Takes the value the user gave; a different value is reported with ValueChanged.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  signals:
    void ValueChanged(int row);

  private:
    PropRows m_rows;
};

class CPropertyDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};
