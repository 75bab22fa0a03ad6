// The rows of the property grid and how they are built from the device's attribute records.
// No widgets here: the grid's model shows these rows, and tests build them from hand-made
// replies. All values are texts; the row keeps the value it was built with, so the grid can
// tell (and draw bold) what the user changed since.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// Value types and flags of an attribute record that the grid acts on.
namespace PropType {
inline constexpr int kEnum = 4;
inline constexpr int kBool = 5;
inline constexpr int kCommand = 10;
}  // namespace PropType

// A plain row: name, value, options, enabled state, free typing, and the record's value type
// and its "shapes the box" flag (flags bit 1).
class CBaseProp {
  public:
    CBaseProp(QString name, QString value, int valueType, bool shapesBox);
    virtual ~CBaseProp() = default;
    CBaseProp(const CBaseProp&) = delete;
    CBaseProp& operator=(const CBaseProp&) = delete;

    virtual bool IsCommand() const { return false; }

    const QString& Name() const { return m_name; }
    // The value as shown ("True"/"False" for a boolean row).
    const QString& Value() const { return m_value; }
    void SetValue(const QString& value) { m_value = value; }
    // Changed since the row was built (drawn bold).
    bool IsModified() const { return m_value != m_original; }

    const QStringList& Options() const { return m_options; }
    // Appends an option unless an equal one is already there.
    void AddOption(const QString& option);
    // Whether the user may type a value (false: only an option can be chosen).
    bool AllowEdit() const { return m_allowEdit; }
    void SetAllowEdit(bool allow) { m_allowEdit = allow; }
    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    int ValueType() const { return m_type; }
    bool ShapesBox() const { return m_shapesBox; }
    // The text written to the device for the shown value.
    QString TextToSend() const;

  private:
    QString m_name;
    QString m_value;
    QString m_original;
    QStringList m_options;
    bool m_allowEdit = true;
    bool m_enabled = true;
    int m_type;
    bool m_shapesBox;
};

// A command row: its value is not shown and it is not edited; the grid puts an execute button
// ("执  行") over its value cell, and every press writes "true".
class CCommandProp : public CBaseProp {
  public:
    CCommandProp(QString name, bool shapesBox);
    bool IsCommand() const override { return true; }
};

using PropRows = std::vector<std::unique_ptr<CBaseProp>>;

// The grid's labels of a boolean row, and how a device text shows ("true" only is True).
QString BoolLabel(const QString& deviceText);

// What the attribute reply of one component gives the grid.
struct ComponentRows {
    bool hasComponent = false;  // a component record (kind 1) was in the reply
    QString component;          // its name
    PropRows rows;              // one row per attribute record (kind 3), in reply order
};

// Builds the rows of a component from its attribute-info reply (head and records). A
// malformed reply gives the rows of its whole records.
ComponentRows BuildComponentRows(const QByteArray& reply);

// Builds the slot view from the slot's attribute-info reply: the slot's own row (always
// enabled; boolean for type 5, free text otherwise) and, for a receiving slot, the disabled
// row "链接到输出" with the link source. linkSource is asked for only for a receiving slot;
// it returns the source or "" when none came back. Empty when the reply holds no attribute.
PropRows BuildSlotRows(const QString& slot, const QByteArray& reply,
                       const std::function<QString()>& linkSource);

// The name of the link-source row of a receiving slot.
inline const QString kLinkRowName = QStringLiteral("链接到输出");
