#include "browser/property_model.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>

CPropertyModel::CPropertyModel(QObject* parent) : QAbstractTableModel(parent) {}

CPropertyModel::~CPropertyModel() = default;

void CPropertyModel::SetRows(PropRows rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

CBaseProp* CPropertyModel::Row(int row) const {
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].get() : nullptr;
}

int CPropertyModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CPropertyModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant CPropertyModel::data(const QModelIndex& index, int role) const {
    const CBaseProp* row = Row(index.row());
    if (!row) return {};
    const bool value = index.column() == kValueColumn;
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            if (!value) return row->Name();
            return row->IsCommand() ? QVariant() : QVariant(row->Value());
        case Qt::EditRole:
            return value ? row->Value() : row->Name();
        case Qt::FontRole:
            if (value && row->IsModified()) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        default:
            return {};
    }
}

QVariant CPropertyModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == kNameColumn ? QStringLiteral("属性名") : QStringLiteral("属性值");
}

Qt::ItemFlags CPropertyModel::flags(const QModelIndex& index) const {
    const CBaseProp* row = Row(index.row());
    if (!row || !row->IsEnabled()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kValueColumn && !row->IsCommand()) f |= Qt::ItemIsEditable;
    return f;
}

bool CPropertyModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    CBaseProp* row = Row(index.row());
    if (role != Qt::EditRole || index.column() != kValueColumn || !row || row->IsCommand() ||
        !row->IsEnabled())
        return false;
    const QString text = value.toString();
    // Only an option can be chosen where free typing is refused.
    if (!row->AllowEdit() && !row->Options().contains(text)) return false;
    if (text == row->Value()) return true;
    row->SetValue(text);
    emit dataChanged(index, index);
    emit ValueChanged(index.row());
    return true;
}

// --- delegate ------------------------------------------------------------------------------

void CPropertyDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    if (index.column() != CPropertyModel::kNameColumn) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The name follows an empty square as wide as the row is high.
    const int side = option.rect.height();
    QRect square(option.rect.left(), option.rect.top(), side, side);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->setBrush(option.palette.color(QPalette::Button));
    painter->drawRect(square.adjusted(0, 0, -1, -1));
    painter->restore();
    QStyleOptionViewItem rest(option);
    rest.rect.setLeft(option.rect.left() + side);
    QStyledItemDelegate::paint(painter, rest, index);
}

QWidget* CPropertyDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const auto* model = qobject_cast<const CPropertyModel*>(index.model());
    const CBaseProp* row = model ? model->Row(index.row()) : nullptr;
    if (!row || row->IsCommand()) return nullptr;
    if (!row->AllowEdit()) {
        auto* combo = new QComboBox(parent);
        combo->setObjectName(QStringLiteral("propertyOptions"));
        combo->addItems(row->Options());
        combo->setFrame(false);
        // A pick is a finished edit: it is written at once.
        connect(combo, &QComboBox::activated, this, [this, combo] {
            auto* self = const_cast<CPropertyDelegate*>(this);
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }
    auto* edit = qobject_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
    if (edit) edit->setObjectName(QStringLiteral("propertyEdit"));
    return edit;
}

void CPropertyDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentIndex(combo->findText(index.data(Qt::EditRole).toString()));
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void CPropertyDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->currentIndex() >= 0) model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}
