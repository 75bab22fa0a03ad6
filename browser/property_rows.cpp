#include "browser/property_rows.h"

#include "browser/reply_records.h"

CBaseProp::CBaseProp(QString name, QString value, int valueType, bool shapesBox)
    : m_name(std::move(name)),
      m_value(std::move(value)),
      m_original(m_value),
      m_type(valueType),
      m_shapesBox(shapesBox) {}

void CBaseProp::AddOption(const QString& option) {
    if (!m_options.contains(option)) m_options << option;
}

QString CBaseProp::TextToSend() const {
    if (m_type == PropType::kBool)
        return m_value == QStringLiteral("True") ? QStringLiteral("true") : QStringLiteral("false");
    return m_value;
}

CCommandProp::CCommandProp(QString name, bool shapesBox)
    : CBaseProp(std::move(name), QString(), PropType::kCommand, shapesBox) {
    SetAllowEdit(false);
}

QString BoolLabel(const QString& deviceText) {
    return deviceText == QStringLiteral("true") ? QStringLiteral("True") : QStringLiteral("False");
}

namespace {
std::unique_ptr<CBaseProp> BoolRow(const QString& name, const QString& value, bool shapes) {
    auto row = std::make_unique<CBaseProp>(name, BoolLabel(value), PropType::kBool, shapes);
    row->AddOption(QStringLiteral("True"));
    row->AddOption(QStringLiteral("False"));
    row->SetAllowEdit(false);
    return row;
}
}  // namespace

ComponentRows BuildComponentRows(const QByteArray& reply) {
    ComponentRows out;
    ForEachRecord(reply, [&out](const KVS_RECORD& rec) {
        if (rec.kind == KVS_KIND_COMPONENT) {
            out.hasComponent = true;
            out.component = RecordText(rec, 0);
            return;
        }
        if (rec.kind != KVS_KIND_ATTRIBUTE) return;
        const QString name = RecordText(rec, 0);
        const QString value = RecordText(rec, 1);
        const bool shapes = rec.flags & KVS_FLAG_SHAPE;
        std::unique_ptr<CBaseProp> row;
        switch (rec.type) {
            case PropType::kEnum:
                row = std::make_unique<CBaseProp>(name, value, PropType::kEnum, shapes);
                for (unsigned i = 2; i < rec.texts; ++i) row->AddOption(RecordText(rec, i));
                row->SetAllowEdit(false);
                break;
            case PropType::kBool:
                row = BoolRow(name, value, shapes);
                break;
            case PropType::kCommand:
                row = std::make_unique<CCommandProp>(name, shapes);
                break;
            default:
                row = std::make_unique<CBaseProp>(name, value, int(rec.type), shapes);
                break;
        }
        row->SetEnabled(!(rec.flags & KVS_FLAG_READONLY));
        out.rows.push_back(std::move(row));
    });
    return out;
}

PropRows BuildSlotRows(const QString& slot, const QByteArray& reply,
                       const std::function<QString()>& linkSource) {
    PropRows rows;
    bool found = false;
    ForEachRecord(reply, [&](const KVS_RECORD& rec) {
        if (found || rec.kind != KVS_KIND_ATTRIBUTE) return;
        found = true;
        const QString value = RecordText(rec, 1);
        const bool shapes = rec.flags & KVS_FLAG_SHAPE;
        // The slot's row is editable whatever the read-only bit says.
        if (rec.type == PropType::kBool)
            rows.push_back(BoolRow(slot, value, shapes));
        else
            rows.push_back(std::make_unique<CBaseProp>(slot, value, int(rec.type), shapes));
        if (rec.role == KVS_ROLE_RECEIVE) {
            auto link = std::make_unique<CBaseProp>(kLinkRowName, linkSource(), 0, false);
            link->SetEnabled(false);
            rows.push_back(std::move(link));
        }
    });
    return rows;
}
