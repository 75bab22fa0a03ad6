// CDlgExpressionPanel ("运算表达式面板"): configures one expression component from the catalogue
// of prototypes in expression/expcfg.xml. Choosing a prototype fills the expression, the
// number of inputs and the description and shows its picture; "添加" writes "输入槽位个数",
// "运算表达式" and "用户注释" to the component, in that order, and asks the frame to rebuild the
// component's box.
//
// On opening the alias box keeps the component's own "用户注释"; it takes a tree item's text
// only when the user selects an item.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>

#include "authoring/xml/xml_doc.h"

class CDevice;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The picture area: the prototype's bitmap drawn unscaled from the top-left corner, clipped
// to the area; nothing when the file is missing or unreadable.
class CExpressionPicture : public QWidget {
  public:
    explicit CExpressionPicture(QWidget* parent = nullptr);
    void SetPath(const QString& path);
    const QImage& Image() const { return m_image; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString m_path;
    QImage m_image;
};

class CDlgExpressionPanel : public QDialog {
    Q_OBJECT
  public:
    // component: the full name of the expression component. frame receives the
    // NOTIFY_COMPONENT_CHANGED notification (none when null). The catalogue is looked for under
    // the working directory, then beside the executable (captured here).
    CDlgExpressionPanel(CDevice& device, const QString& component, QObject* frame,
                        QWidget* parent = nullptr);

    // Builds the tree from the catalogue, reads the component's comment and expression and
    // selects the matching prototype. False when the device did not answer (the panel is then
    // of no use; the output pane has said so).
    bool Load();

    QString CatalogPath() const { return m_strCatalogPath; }
    // The picture file of the last prototype a selection found ("" for none).
    QString PicturePath() const;

    // "添加": the three writes, the notification, and the dialog closes with OK.
    void Add();

  private:
    void BuildTree();
    void OnSelectionChanged(QTreeWidgetItem* item);
    void SelectMatching(const QString& expression);

    CDevice& m_device;
    QString m_component;
    QObject* m_frame;
    QString m_szWorkDir;
    QString m_strCatalogPath;
    QString m_strPicture;
    CXmlDoc m_xml;
    bool m_initialSelection = false;

    QTreeWidget* m_tree;
    QLineEdit* m_alias;
    QPlainTextEdit* m_expression;
    QLineEdit* m_inputs;
    QPlainTextEdit* m_description;
    CExpressionPicture* m_picture;
};
