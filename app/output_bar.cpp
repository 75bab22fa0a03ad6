#include "app/output_bar.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QResizeEvent>

#include "app/common/frame_events.h"
#include "app/common/framed_pane.h"
#include "app/common/icons.h"
#include "app/device/device.h"

COutputList::COutputList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("outputList"));
    setColumnCount(3);
    setHeaderLabels(
        {QStringLiteral("信息类别"), QStringLiteral("时间"), QStringLiteral("信息内容")});
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // the text column follows the pane
    // The pane's font, then CJK fonts for the Chinese texts where it lacks them.
    QFont f;
    f.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
    f.setPixelSize(16);
    f.setWeight(QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    // The time column is 60 pixels wide; where this machine's font draws "HH:MM:SS" wider,
    // the time is drawn smaller rather than cut.
    m_timeFont = f;
    while (m_timeFont.pixelSize() > 9 &&
           QFontMetrics(m_timeFont).horizontalAdvance(QStringLiteral("00:00:00")) > kTimeWidth - 6)
        m_timeFont.setPixelSize(m_timeFont.pixelSize() - 1);
    header()->setMinimumSectionSize(16);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Fixed);
    setColumnWidth(0, kIconWidth);
    setColumnWidth(1, kTimeWidth);
    setColumnWidth(2, 600);
    for (int level = 1; level <= 3; ++level) m_levelIcons[level - 1] = LevelIcon(level);
}

void COutputList::AddMessage(unsigned level, const QString& time, const QString& text) {
    auto* item = new QTreeWidgetItem;
    if (level >= 1 && level <= 3) item->setIcon(0, m_levelIcons[level - 1]);
    item->setData(0, Qt::UserRole, level);
    item->setText(1, time);
    item->setFont(1, m_timeFont);
    item->setText(2, text);
    item->setToolTip(2, text);
    insertTopLevelItem(0, item);
}

void COutputList::LayoutColumns(int paneWidth) {
    setColumnWidth(0, kIconWidth);
    setColumnWidth(1, kTimeWidth);
    setColumnWidth(2, qMax(0, paneWidth - 2 - kIconWidth - kTimeWidth));
}

COutputBar::COutputBar(QWidget* parent) : QDockWidget(QStringLiteral("输出"), parent) {
    setObjectName(QStringLiteral("outputBar"));
    m_list = new COutputList;
    setWidget(new CFramedPane(m_list, this));
}

COutputBar::~COutputBar() { DetachLog(); }

void COutputBar::AttachLog(CDevice& device) {
    DetachLog();
    m_logDevice = &device;
    device.SetLogReceiver([this](unsigned level, const QString& time, const QString& text) {
        QCoreApplication::postEvent(this, new CInfoMessageEvent(level, time, text));
    });
}

void COutputBar::DetachLog() {
    // Once this returns, the receiver runs no more: nothing is posted to a dead pane.
    if (m_logDevice) m_logDevice->SetLogReceiver(nullptr);
    m_logDevice = nullptr;
}

bool COutputBar::event(QEvent* e) {
    if (e->type() == KvsEvent::InfoMessage) {
        auto* info = static_cast<CInfoMessageEvent*>(e);
        m_list->AddMessage(info->level, info->time, info->text);
        return true;
    }
    return QDockWidget::event(e);
}

void COutputBar::resizeEvent(QResizeEvent* e) {
    QDockWidget::resizeEvent(e);
    m_list->LayoutColumns(width());
}
