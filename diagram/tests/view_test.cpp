// The diagram view offscreen against the simulated controller in this process (UDP on
// loopback, in a private network namespace): what the user's gestures do on the device, and
// the diagram rebuilt from it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <memory>

#include "app/common/frame_events.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/fake_device.h"
#include "devsim/device.h"
#include "diagram/component_trace.h"
#include "diagram/connect_trace.h"
#include "diagram/editor_hooks.h"
#include "diagram/korvessa_view.h"

namespace {

const std::string kManager = "组件管理器";

class CRecordingService : public CMessageService {
  public:
    CRecordingService() { CMessageService::Install(this); }
    ~CRecordingService() override { CMessageService::Install(nullptr); }
    void Inform(QWidget*, const QString& text) override { informs << text; }
    bool Ask(QWidget*, const QString&) override { return false; }
    int Run(QDialog&) override { return 0; }
    QStringList informs;
};

// Stands in for the main frame: records the posted notifications.
class CNotifySink : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() != KvsEvent::FrameNotify) return QObject::event(e);
        auto* n = static_cast<CFrameNotifyEvent*>(e);
        codes.push_back(n->code);
        names << n->name;
        return true;
    }
    std::vector<int> codes;
    QStringList names;
};

class CRecordingEditors : public IDiagramEditors, public IDiagramDocument {
  public:
    void OpenExpressionPanel(QWidget*, const QString& c) override { opened << "expression " + c; }
    void OpenScriptEditor(QWidget*, const QString& c) override { opened << "script " + c; }
    void OpenHelpTopic(const QString& key) override { opened << "help " + key; }
    void SetModifiedFlag() override { ++modified; }
    QStringList opened;
    int modified = 0;
};

// The real device layer, counting requests and able to make the device fall silent after a
// number of them; it keeps the lines it logs.
class CCountingDevice : public CKvsDevice {
  public:
    devsim::Device* sim = nullptr;
    int requests = 0;
    int silentAfter = -1;
    QStringList logged;
    void Log(int level, const QString& text) override {
        logged << text;
        CKvsDevice::Log(level, text);
    }

  protected:
    void Count() {
        if (silentAfter >= 0 && requests++ == silentAfter) {
            devsim::Faults f;
            f.silent = true;
            sim->SetFaults(f);
        }
    }
    DeviceResult<QByteArray> DoRecords(int c, const QString& a, const QString& b) override {
        Count();
        return CKvsDevice::DoRecords(c, a, b);
    }
    DeviceResult<QString> DoText(int c, const QString& a, const QString& b) override {
        Count();
        return CKvsDevice::DoText(c, a, b);
    }
};

std::string U(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim = devsim::Device::CreateDemo();
        std::string error;
        ASSERT_TRUE(sim->StartUdp("127.0.0.1", 30001, &error)) << error;
        device.sim = sim.get();
        device.SetKey(Q(sim->Key()));
        device.SetRequestWait(1000);
        ASSERT_TRUE(device.OpenUdp({127, 0, 0, 1}));
        view = std::make_unique<CKorvessaView>(device);
        view->resize(800, 600);
        view->SetNotifyTarget(&sink);
        view->SetEditors(&editors);
        view->SetDocument(&editors);
        view->show();
        view->activateWindow();
        view->setFocus();
        // The activation posts its own notification; let it pass before a test looks.
        QElapsedTimer t;
        t.start();
        while (!view->hasFocus() && t.elapsed() < 2000) QApplication::processEvents();
        QApplication::processEvents();
        sink.codes.clear();
        sink.names.clear();
    }
    void TearDown() override {
        view.reset();
        device.Close();
        sim.reset();
    }

    std::string Value(const std::string& c, const std::string& a) {
        std::string v;
        sim->GetValue(c, a, &v);
        return v;
    }
    QString Instances() {
        QString list;
        for (const std::string& c : sim->ListComponents())
            if (c != kManager) list += Q(c) + ';';
        return list;
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent e(type, at, view->viewport()->mapToGlobal(at), button, buttons, modifiers);
        QApplication::sendEvent(view->viewport(), &e);
    }
    void Click(QPoint at) {
        Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, {});
    }
    void DoubleClick(QPoint at) {
        Click(at);
        Mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, {});
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, {}, modifiers);
    }
    TPoint ToDiagramOf(QPoint window) { return view->ToDiagram(window); }
    QPoint Window(TPoint p) {
        const QPoint s = view->ScrollPosition();
        return {p.x - s.x(), p.y - s.y()};
    }
    CComponentTrace* Box(const QString& name) {
        CBaseTrace* item = view->FindItemByName(name);
        return item && item->Type() == CBaseTrace::kComponent ? static_cast<CComponentTrace*>(item)
                                                              : nullptr;
    }
    T_COMPONENT_INFO* Slot(const QString& fullName) {
        const QString comp = fullName.left(fullName.indexOf(':'));
        CComponentTrace* box = Box(comp);
        return box ? box->FindPart(fullName) : nullptr;
    }
    int Links() {
        int n = 0;
        for (const auto& item : view->Items()) n += item->Type() == CBaseTrace::kLink;
        return n;
    }
    std::vector<std::string> LinkComponents() {
        std::vector<std::string> names;
        for (const std::string& c : sim->ListComponents())
            if (c.rfind("槽位连接线-", 0) == 0) names.push_back(c);
        return names;
    }

    std::unique_ptr<devsim::Device> sim;
    CCountingDevice device;
    CRecordingService service;
    CNotifySink sink;
    CRecordingEditors editors;
    std::unique_ptr<CKorvessaView> view;
};

TEST_F(ViewTest, DroppedTypeBecomesABoxWhosePositionIsOnTheDevice) {
    view->horizontalScrollBar()->setValue(100);
    QApplication::postEvent(view->viewport(),
                            new CComponentDropEvent(QStringLiteral("定时器"), QPoint(30, 40)));
    QApplication::processEvents();
    ASSERT_EQ(view->Items().size(), 1u);
    CBaseTrace* box = view->Items()[0].get();
    EXPECT_EQ(box->Type(), CBaseTrace::kComponent);
    EXPECT_FALSE(box->Selected());
    EXPECT_EQ(Value(U(box->Name()), "区域位置"), "(130,40),(210,80)");
    EXPECT_FALSE(static_cast<CComponentTrace*>(box)->SendSlots().empty());
    QApplication::processEvents();
    EXPECT_EQ(sink.codes, std::vector<int>{NOTIFY_REFRESH_TREE});
    EXPECT_TRUE(service.informs.isEmpty());
}

TEST_F(ViewTest, DropsAreRefusedWhileRunningWithoutResourcesAndForTheLinkType) {
    const size_t before = sim->ListComponents().size();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        QString type;
        QString message;
    } cases[] = {
        {"link type", [] {}, QStringLiteral("槽位连接线"), QString()},
        {"running", [this] { sim->SetValue(kManager, "运行状态", "true"); },
         QStringLiteral("定时器"), QStringLiteral("请停止工程，然后再创建组件!")},
        {"no resources",
         [this] {
             sim->SetValue(kManager, "运行状态", "false");
             while (!sim->AddComponent("开关").empty()) {
             }
         },
         QStringLiteral("开关"), QStringLiteral("本组件硬件资源数有限，不能再创建组件")},
    };
    for (const Case& c : cases) {
        c.arrange();
        const size_t present = sim->ListComponents().size();
        service.informs.clear();
        view->DropComponent(c.type, QPoint(10, 10));
        EXPECT_EQ(sim->ListComponents().size(), present) << c.what;
        EXPECT_TRUE(view->Items().empty()) << c.what;
        EXPECT_EQ(service.informs, c.message.isEmpty() ? QStringList() : QStringList{c.message})
            << c.what;
    }
    EXPECT_GT(sim->ListComponents().size(), before);  // the filled-up switches
    QApplication::processEvents();
    EXPECT_TRUE(sink.codes.empty());
}

TEST_F(ViewTest, DoubleClicksOnTwoSlotsLinkThemOnTheDevice) {
    view->DropComponent(QStringLiteral("定时器"), QPoint(40, 40));
    view->DropComponent(QStringLiteral("计数器"), QPoint(300, 200));
    auto* from = static_cast<CComponentTrace*>(view->Items()[0].get());
    auto* to = static_cast<CComponentTrace*>(view->Items()[1].get());
    ASSERT_FALSE(from->SendSlots().empty());
    ASSERT_FALSE(to->ReceiveSlots().empty());
    T_COMPONENT_INFO* send = from->SendSlots()[0].get();
    T_COMPONENT_INFO* receive = to->ReceiveSlots()[0].get();
    const auto linksBefore = LinkComponents();

    DoubleClick(Window(RectCentre(send->rect)));
    EXPECT_EQ(view->LinkFrom(), send);
    DoubleClick(Window(RectCentre(receive->rect)));
    ASSERT_EQ(Links(), 1);
    const auto links = LinkComponents();
    ASSERT_EQ(links.size(), linksBefore.size() + 1);
    const std::string link = links.back();
    const TPoint cF = RectCentre(send->rect), cT = RectCentre(receive->rect);
    const int mx = (cF.x + cT.x) / 2;
    EXPECT_EQ(Value(link, "区域位置"), U(QStringLiteral("4,(%1,%2),(%3,%2),(%3,%4),(%5,%4),")
                                             .arg(cF.x)
                                             .arg(cF.y)
                                             .arg(mx)
                                             .arg(cT.y)
                                             .arg(cT.x)));
    EXPECT_EQ(Value(link, "发送槽位"), U(send->name));
    EXPECT_EQ(Value(link, "接收槽位"), U(receive->name));
    const TFullName r = SeparateFullName(receive->name);
    EXPECT_EQ(sim->GetLink(U(r.component), U(r.attribute)), U(send->name));
    // Both slots are marked for one painting, then the marks are gone.
    EXPECT_EQ(view->LinkTo(), receive);
    view->viewport()->repaint();
    EXPECT_EQ(view->LinkFrom(), nullptr);
    EXPECT_EQ(view->LinkTo(), nullptr);

    // A second link on that receive slot is refused and drops the pending link. The new
    // link lies on top of both slots: a press on each box brings it up first.
    Click(Window(RectCentre(from->Body().rect)));
    DoubleClick(Window(RectCentre(send->rect)));
    EXPECT_EQ(view->LinkFrom(), send);
    Click(Window(RectCentre(to->Body().rect)));
    DoubleClick(Window(RectCentre(receive->rect)));
    EXPECT_EQ(service.informs,
              QStringList{QStringLiteral("该输入槽位已经有连接，请删除后再做此操作!")});
    EXPECT_EQ(view->LinkFrom(), nullptr);
    EXPECT_EQ(LinkComponents().size(), links.size());
    // A receive slot without a chosen send slot does nothing.
    DoubleClick(Window(RectCentre(receive->rect)));
    EXPECT_EQ(view->LinkTo(), nullptr);
    EXPECT_EQ(Links(), 1);
}

TEST_F(ViewTest, LoadDiagramReproducesTheDeviceAndDraggingABoxMovesItsLinks) {
    view->LoadDiagram(Instances());
    // Every component with a rectangle is a box at that rectangle; every link component a link.
    int boxes = 0;
    for (const std::string& c : sim->ListComponents()) {
        const std::string rect = Value(c, "区域位置");
        if (c == kManager || c.rfind("槽位连接线-", 0) == 0) continue;
        CComponentTrace* box = Box(Q(c));
        ASSERT_TRUE(box) << c;
        EXPECT_EQ(U(box->GeometryText()), rect);
        ++boxes;
    }
    const auto links = LinkComponents();
    ASSERT_FALSE(links.empty());
    EXPECT_EQ(int(view->Items().size()), boxes + int(links.size()));
    for (const std::string& l : links) {
        auto* link = static_cast<CConnectTrace*>(view->FindItemByName(Q(l)));
        ASSERT_TRUE(link) << l;
        EXPECT_EQ(U(link->GeometryText()), Value(l, "区域位置"));
        ASSERT_TRUE(link->FromSlot() && link->ToSlot()) << l;
        EXPECT_EQ(U(link->FromSlot()->name), Value(l, "发送槽位"));
        EXPECT_EQ(U(link->ToSlot()->name), Value(l, "接收槽位"));
        EXPECT_TRUE(Contains(link->FromSlot()->rect, link->Point(0)));
    }
    EXPECT_TRUE(device.logged.isEmpty()) << U(device.logged.join('\n'));

    // Drag the and gate 20 pixels down: its links' ends follow, and the device has them.
    CComponentTrace* gate = Box(QStringLiteral("与门-1"));
    ASSERT_TRUE(gate);
    const TPoint centre = RectCentre(gate->Body().rect);
    Drag(Window(centre), Window({centre.x, centre.y + 20}));
    EXPECT_EQ(view->Selection(), gate);
    EXPECT_EQ(view->Items().back().get(), gate);  // brought to the top
    int following = 0;
    for (const std::string& l : links) {
        auto* link = static_cast<CConnectTrace*>(view->FindItemByName(Q(l)));
        const bool atGate = gate->Owns(link->FromSlot()) || gate->Owns(link->ToSlot());
        following += atGate;
        EXPECT_TRUE(Contains(link->FromSlot()->rect, link->Point(0))) << l;
        EXPECT_TRUE(Contains(link->ToSlot()->rect, link->Point(link->PointCount() - 1))) << l;
        EXPECT_EQ(U(link->GeometryText()), Value(l, "区域位置")) << l;
    }
    EXPECT_EQ(following, 3);
    const TRect r = gate->OuterRect();
    EXPECT_EQ(
        Value("与门-1", "区域位置"),
        U(QStringLiteral("(%1,%2),(%3,%4)").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom)));
    EXPECT_GE(editors.modified, 1);
    QApplication::processEvents();
    EXPECT_EQ(sink.codes, std::vector<int>{NOTIFY_SELECT});
    EXPECT_EQ(sink.names, QStringList{QStringLiteral("与门-1")});
}

TEST_F(ViewTest, DeletingABoxRemovesItsLinksOnTheDevice) {
    view->LoadDiagram(Instances());
    const size_t links = LinkComponents().size();
    // The and gate has three links: two inputs and its output.
    ASSERT_TRUE(view->DeleteItem(QStringLiteral("与门-1")));
    EXPECT_EQ(LinkComponents().size(), links - 3);
    EXPECT_EQ(Links(), int(links - 3));
    EXPECT_FALSE(view->HasItem(QStringLiteral("与门-1")));
    const auto all = sim->ListComponents();
    EXPECT_EQ(std::find(all.begin(), all.end(), "与门-1"), all.end());
    EXPECT_EQ(sim->GetLink("计数器-1", "计数输入"), "");
    for (const auto& item : view->Items()) {
        if (item->Type() != CBaseTrace::kLink) continue;
        auto* link = static_cast<CConnectTrace*>(item.get());
        EXPECT_TRUE(link->FromSlot() == nullptr ||
                    Slot(link->FromSlot()->name) == link->FromSlot());
    }
}

TEST_F(ViewTest, SelectionFollowsPressesNamesAndTheDeleteKey) {
    view->LoadDiagram(Instances());
    CComponentTrace* counter = Box(QStringLiteral("计数器-1"));
    ASSERT_TRUE(counter && !counter->SendSlots().empty());
    T_COMPONENT_INFO* slot = counter->SendSlots()[0].get();
    Click(Window(RectCentre(counter->Body().rect)));
    Click(Window(RectCentre(slot->rect)));  // the already selected box: the slot's name
    Click(Window({1500, 1100}));            // empty diagram: selection cleared, null name
    QApplication::processEvents();
    EXPECT_EQ(sink.codes, (std::vector<int>{NOTIFY_SELECT, NOTIFY_SELECT, NOTIFY_SELECT}));
    EXPECT_EQ(sink.names, (QStringList{QStringLiteral("计数器-1"), slot->name, QString()}));
    EXPECT_TRUE(sink.names[2].isNull());

    // Selecting by name: the current selection's name changes nothing.
    EXPECT_TRUE(view->SelectItemByName(slot->name));
    EXPECT_EQ(view->Selection(), counter);
    EXPECT_EQ(counter->SelectedPart(), slot);
    EXPECT_FALSE(view->SelectItemByName(slot->name));
    EXPECT_FALSE(view->SelectItemByName(QStringLiteral("无此组件-1")));
    EXPECT_EQ(view->Selection(), nullptr);

    // Delete posts the request with the name; the frame's guard then calls DeleteItem.
    Click(Window(RectCentre(counter->Body().rect)));
    QApplication::processEvents();
    sink.codes.clear();
    sink.names.clear();
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &del);
    QApplication::processEvents();
    EXPECT_EQ(sink.codes, std::vector<int>{NOTIFY_DELETE_COMPONENT});
    EXPECT_EQ(sink.names, QStringList{QStringLiteral("计数器-1")});
    EXPECT_EQ(view->Selection(), nullptr);
    EXPECT_TRUE(view->HasItem(QStringLiteral("计数器-1")));

    // Double clicks on the bodies of the authored components open their editors.
    for (const char* name : {"表达式运算-1", "用户自定义组件-1"}) {
        CComponentTrace* box = Box(QString::fromUtf8(name));
        ASSERT_TRUE(box) << name;
        DoubleClick(Window(RectCentre(box->Body().rect)));
    }
    EXPECT_EQ(editors.opened, (QStringList{QStringLiteral("expression 表达式运算-1"),
                                           QStringLiteral("script 用户自定义组件-1")}));
}

TEST_F(ViewTest, BecomingActiveAgainPostsTheSelectedName) {
    view->LoadDiagram(Instances());
    ASSERT_TRUE(view->SelectItemByName(QStringLiteral("计数器-1")));
    view->clearFocus();
    view->setFocus();
    QElapsedTimer t;
    t.start();
    while (!view->hasFocus() && t.elapsed() < 2000) QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(sink.codes, std::vector<int>{NOTIFY_SELECT});
    EXPECT_EQ(sink.names, QStringList{QStringLiteral("计数器-1")});
    // Focus staying in the view posts nothing more.
    view->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(sink.codes.size(), 1u);
}

TEST_F(ViewTest, ReloadedComponentKeepsTheLinksItsSlotsStillHaveAndDanglesNothing) {
    view->LoadDiagram(Instances());
    const size_t links = LinkComponents().size();
    auto linksAt = [&](CComponentTrace* box) {
        int n = 0;
        for (const auto& item : view->Items()) {
            if (item->Type() != CBaseTrace::kLink) continue;
            auto* link = static_cast<CConnectTrace*>(item.get());
            if (box->Owns(link->FromSlot()) || box->Owns(link->ToSlot())) ++n;
        }
        return n;
    };
    const int before = linksAt(Box(QStringLiteral("计数器-1")));
    ASSERT_GT(before, 0);
    ASSERT_TRUE(view->ReloadComponent(QStringLiteral("计数器-1")));
    CComponentTrace* counter = Box(QStringLiteral("计数器-1"));
    ASSERT_TRUE(counter);
    EXPECT_EQ(view->Selection(), counter);
    EXPECT_EQ(view->Items().back().get(), counter) << "the rebuilt box is drawn on top";
    // Its slots did not change, so its wiring stays on the device and in the diagram.
    EXPECT_EQ(LinkComponents().size(), links);
    EXPECT_EQ(linksAt(counter), before);
    for (const auto& item : view->Items()) {
        if (item->Type() != CBaseTrace::kLink) continue;
        auto* link = static_cast<CConnectTrace*>(item.get());
        // Every end points into a live box.
        ASSERT_TRUE(link->FromSlot() && link->ToSlot());
        EXPECT_EQ(Slot(link->ToSlot()->name), link->ToSlot());
        EXPECT_EQ(Slot(link->FromSlot()->name), link->FromSlot());
    }
    sim->SetValue("计数器-1", "用户注释", "新注释");
    EXPECT_TRUE(view->ReloadComment(QStringLiteral("计数器-1")));
    EXPECT_EQ(counter->Comment(), QStringLiteral("新注释"));
    view->ClearDiagram();
    EXPECT_TRUE(view->Items().empty());
    EXPECT_FALSE(view->ReloadComment(QStringLiteral("计数器-1")));
}

TEST_F(ViewTest, ReloadedComponentRemovesOnlyTheLinkWhoseSlotIsGone) {
    view->LoadDiagram(Instances());
    const size_t links = LinkComponents().size();
    const QString expression = QStringLiteral("表达式运算-1");
    ASSERT_TRUE(Slot(expression + QStringLiteral(":输入2")));
    sim->SetValue("表达式运算-1", "输入槽位个数", "1");
    ASSERT_TRUE(view->ReloadComponent(expression));
    EXPECT_FALSE(Slot(expression + QStringLiteral(":输入2")));
    EXPECT_EQ(LinkComponents().size(), links - 1) << "the link into the vanished input goes";
    EXPECT_TRUE(Slot(expression + QStringLiteral(":输入1")));
    bool firstInputLinked = false;
    for (const auto& item : view->Items()) {
        if (item->Type() != CBaseTrace::kLink) continue;
        auto* link = static_cast<CConnectTrace*>(item.get());
        if (link->ToSlot() && link->ToSlot()->name == expression + QStringLiteral(":输入1"))
            firstInputLinked = true;
    }
    EXPECT_TRUE(firstInputLinked) << "the link into the input that stays is kept";
}

TEST_F(ViewTest, LinksRubberBandContextMenuAndOverlaps) {
    // A press on the link that is already selected posts nothing; dragging its interior point
    // shows exactly the candidate route as the rubber band, gone after the release.
    view->LoadDiagram(Instances());
    auto* link = static_cast<CConnectTrace*>(view->FindItemByName(Q(LinkComponents().front())));
    ASSERT_TRUE(link && link->PointCount() == 4);
    const TPoint p1 = link->Point(1), p2 = link->Point(2);
    const QPoint mid = Window({p1.x, (p1.y + p2.y) / 2});
    Click(mid);
    EXPECT_EQ(view->Selection(), link);
    QApplication::processEvents();
    sink.codes.clear();
    Click(mid);
    QApplication::processEvents();
    EXPECT_TRUE(sink.codes.empty());

    const QPoint grip = Window(p2), to = grip + QPoint(30, 0);
    Mouse(QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, grip + QPoint(20, 0), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    TPoints t = link->Points(), cand = t, r;
    cand[2] = ToDiagramOf(to);
    const int k = CLineTrace::Reroute(t, 4, cand, CLineTrace::kDefault, r, 2);
    ASSERT_EQ(view->RubberBand().size(), size_t(k));
    for (int i = 0; i < k; ++i) EXPECT_EQ(view->RubberBand()[size_t(i)], r[size_t(i)]) << i;
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &escape);
    EXPECT_FALSE(view->Tracking());
    EXPECT_TRUE(view->RubberBand().empty());
    EXPECT_EQ(link->Points(), t);  // cancelled: unchanged, yet written again
    EXPECT_EQ(U(link->GeometryText()), Value(U(link->Name()), "区域位置"));

    // The context menu's "删除" deletes the selection without asking.
    Mouse(QEvent::MouseButtonRelease, mid, Qt::RightButton, {});
    ASSERT_TRUE(view->ContextMenu());
    EXPECT_EQ(view->ContextMenu()->actions().value(0)->text(), QStringLiteral("删除"));
    EXPECT_EQ(view->ContextMenu()->actions().value(0)->data().toInt(), 32818);
    view->ContextMenu()->hide();
    const std::string name = U(link->Name());
    view->ContextMenu()->actions().value(0)->trigger();
    EXPECT_EQ(view->Selection(), nullptr);
    EXPECT_FALSE(view->HasItem(Q(name)));
    const auto all = sim->ListComponents();
    EXPECT_EQ(std::find(all.begin(), all.end(), name), all.end());

    // Two overlapping boxes.
    view->ClearDiagram();
    view->DropComponent(QStringLiteral("定时器"), QPoint(100, 100));
    view->DropComponent(QStringLiteral("开关"), QPoint(150, 120));  // overlaps the first box
    CBaseTrace* top = view->Items()[1].get();
    // A press in the overlap selects the box painted on top.
    Click(QPoint(160, 130));
    EXPECT_EQ(view->Selection(), top);
    // At the top box's corner handle, inside the other box's body, the pointer shape is decided
    // by the box painted first: the move cursor, not the sizing one.
    TCursorShape shape{};
    ASSERT_TRUE(view->CursorShapeAt(QPoint(150, 120), &shape));
    EXPECT_EQ(shape, TCursorShape::Move);
    ASSERT_TRUE(top->SetCursorShape({150, 120}, true, &shape));
    EXPECT_EQ(shape, TCursorShape::SizeNwse);
    EXPECT_FALSE(view->CursorShapeAt(QPoint(600, 500), &shape));
}

TEST_F(ViewTest, DeviceFallingSilentDuringLoadCostsOneWait) {
    device.SetRequestWait(500);
    device.silentAfter = 7;  // the third box's slot request gets no answer
    QElapsedTimer t;
    t.start();
    view->LoadDiagram(Instances());
    const qint64 ms = t.elapsed();
    EXPECT_LT(ms, 1000) << "one wait, not one per remaining request";
    EXPECT_GE(ms, 450);
    // The boxes drawn so far stay; the silence is reported once.
    EXPECT_EQ(view->Items().size(), 3u);
    EXPECT_EQ(device.logged.count(QStringLiteral("加载图表: 下位机无应答")), 1)
        << U(device.logged.join('\n'));
}

// Counts how often the busy cursor goes up from none.
class CBusyCounter : public IBusyHook {
  public:
    void Begin() override { shown += depth++ == 0; }
    void End() override { --depth; }
    int depth = 0, shown = 0;
};

TEST(ViewBusy, MultiRequestOperationsKeepTheBusyCursorUpThroughout) {
    CFakeDevice device;
    CBusyCounter hook;
    device.SetBusyHook(&hook);
    for (const char* name : {"定时器-1", "定时器-2"})
        device.SetValue(QString::fromUtf8(name), QStringLiteral("区域位置"),
                        QStringLiteral("(0,0),(80,40)"));
    device.SetValue(QStringLiteral("槽位连接线"), QStringLiteral("创建的组件"), QString());
    CKorvessaView view(device);
    view.LoadDiagram(QStringLiteral("定时器-1;定时器-2;"));
    EXPECT_EQ(view.Items().size(), 2u);
    EXPECT_EQ(device.m_requests, 5);  // two rectangles, two slot reads, the link list
    EXPECT_EQ(hook.shown, 1);
    EXPECT_EQ(hook.depth, 0);
    view.DeleteItem(QStringLiteral("定时器-1"));
    EXPECT_EQ(hook.shown, 2);
}

TEST(ViewUntrusted, LinksNamingAnyPartOfABoxGoWithItAndLongNamesAreNotShown) {
    CFakeDevice device;
    const QString rect = QStringLiteral("(0,0),(80,40)");
    device.SetValue(QStringLiteral("定时器-1"), QStringLiteral("区域位置"), rect);
    device.SetValue(QStringLiteral("计数器-1"), QStringLiteral("区域位置"),
                    QStringLiteral("(200,0),(280,40)"));
    const QString longName = QString(40, QChar(0x5B9A)) + QStringLiteral("-1");  // 82 GBK bytes
    device.SetValue(longName, QStringLiteral("区域位置"), rect);
    // A link whose ends name the boxes' bodies (no slot): the device is not trusted to name
    // slots of the right kind.
    device.SetValue(QStringLiteral("槽位连接线"), QStringLiteral("创建的组件"),
                    QStringLiteral("槽位连接线-1;"));
    device.SetValue(QStringLiteral("槽位连接线-1"), QStringLiteral("区域位置"),
                    QStringLiteral("2,(40,20),(240,20),"));
    device.SetValue(QStringLiteral("槽位连接线-1"), QStringLiteral("发送槽位"),
                    QStringLiteral("定时器-1"));
    device.SetValue(QStringLiteral("槽位连接线-1"), QStringLiteral("接收槽位"),
                    QStringLiteral("计数器-1"));
    CKorvessaView view(device);
    view.LoadDiagram(QStringLiteral("定时器-1;计数器-1;") + longName + ';');
    EXPECT_FALSE(view.HasItem(longName));
    ASSERT_TRUE(view.HasItem(QStringLiteral("槽位连接线-1")));
    ASSERT_TRUE(view.DeleteItem(QStringLiteral("定时器-1")));
    EXPECT_FALSE(view.HasItem(QStringLiteral("槽位连接线-1")));
    EXPECT_TRUE(device.m_log.contains(QStringLiteral("DelComponent 槽位连接线-1")));
    // The remaining box moves without touching a freed part.
    auto* counter = static_cast<CComponentTrace*>(view.FindItemByName(QStringLiteral("计数器-1")));
    ASSERT_TRUE(counter);
    EXPECT_TRUE(counter->LoadGeometry(QStringLiteral("(300,0),(380,40)")));
    EXPECT_EQ(view.Items().size(), 1u);

    // A new component whose name does not fit is created on the device but not drawn.
    device.SetValue(longName.left(41), QStringLiteral("总资源数"), QStringLiteral("9"));
    device.SetValue(longName.left(41), QStringLiteral("已用资源数"), QStringLiteral("0"));
    view.DropComponent(longName.left(41), QPoint(10, 10));
    EXPECT_EQ(view.Items().size(), 1u);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
