// CGenericObjectList on a list box of a parent window that records which
// notifications reach it after reflection: its extent, selection and
// description; which drops it takes and what a hostile record can do; real
// drags within it; and the results list's drags out of the main dialog.
#include <gtest/gtest.h>

#include "drag_starter.h"
#include "drag_test_support.h"
#include "file_list.h"
#include "generic_object_list.h"
#include "help_tip_request.h"
#include "kivrel_dlg.h"
#include "line_record.h"
#include "object_list_drop_target.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

constexpr int kListId = 100, kPlainListId = 101;
const CLIPFORMAT kRecordFormat = CLIPFORMAT(::RegisterClipboardFormatA("CGenericObjectList"));

// A top-level window whose object records the list notifications that are
// left to it after the framework has reflected them to their senders.
class CRecordingParent : public CWnd {
public:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        const BOOL handled = CWnd::OnCommand(wParam, lParam);
        if (!handled) seen.push_back({LOWORD(wParam), HIWORD(wParam)});
        return handled;
    }
    std::vector<std::pair<int, int>> seen;  // control id, notification code
};

class CTestList : public CGenericObjectList {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
    DWORD Identity() const { return ListIdentity(); }
    WORD& Flags() { return m_wFlags; }
    void OnSelChange() override {
        ++selChanges;
        CGenericObjectList::OnSelChange();
    }
    void OnDblClk() override { ++doubleClicks; }
    void OnSetFocusNotify() override { ++focusGained; }
    int selChanges = 0, doubleClicks = 0, focusGained = 0;
};

class ObjectList : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_parent.SubclassWindow(TestWindow(WS_OVERLAPPEDWINDOW, {300, 300, 760, 560})));
        const DWORD style = WS_CHILD | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                            LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT;
        ASSERT_TRUE(m_list.SubclassWindow(
            TestWindow(style, {10, 10, 210, 210}, m_parent.m_hWnd, kListId, "ListBox")));
        m_plain = TestWindow(style, {230, 10, 430, 210}, m_parent.m_hWnd, kPlainListId, "ListBox");
        ::SetForegroundWindow(m_parent.m_hWnd);
        PumpMessages(20);
    }
    void TearDown() override {
        m_parent.DestroyWindow();
        PumpMessages(10);
    }
    // Fresh windows for the next case.
    void Reset() {
        TearDown();
        SetUp();
    }
    void Fill(const std::vector<std::string>& texts) {
        for (size_t i = 0; i < texts.size(); ++i) m_list.AddLine(texts[i].c_str(), DWORD(100 + i));
    }
    std::vector<int> Selected() {
        std::vector<int> lines;
        for (int i = 0; i < m_list.GetCount(); ++i)
            if (m_list.GetSel(i) > 0) lines.push_back(i);
        return lines;
    }
    LPARAM PointOfLine(int index) {
        const POINT at = LineCentre(m_list.m_hWnd, index);
        return MAKELPARAM(at.x, at.y);
    }

    CRecordingParent m_parent;
    CTestList m_list;
    HWND m_plain = nullptr;
};

TEST_F(ObjectList, ExtentGrowsToTheTabExpandedWidthAndNeverShrinks) {
    // A large font, so that measuring in the wrong font would show.
    LOGFONTA logFont{};
    logFont.lfHeight = -40;
    lstrcpyA(logFont.lfFaceName, "Tahoma");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&logFont));
    m_list.ApplyFont(&font);
    HDC dc = ::GetDC(m_list.m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, font.GetSafeHandle());
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    SIZE b{}, wide{};
    ::GetTextExtentPoint32A(dc, "B", 1, &b);
    ::GetTextExtentPoint32A(dc, "WWWWWWWWWW", 10, &wide);
    ::ReleaseDC(m_list.m_hWnd, (::SelectObject(dc, old), dc));

    m_list.SetHorizontalExtent(0);
    m_list.AddLine("\tB", 1);
    // A leading tab reaches the first default stop: eight average characters.
    const int tabbed = 8 * metrics.tmAveCharWidth + b.cx;
    EXPECT_EQ(m_list.GetHorizontalExtent(), tabbed);
    m_list.InsertLine(0, "WWWWWWWWWW", 2);
    EXPECT_EQ(m_list.GetHorizontalExtent(), std::max<int>(wide.cx, tabbed));
    m_list.AddLine("i", 3);
    m_list.DeleteLine(0);
    EXPECT_EQ(m_list.GetHorizontalExtent(), std::max<int>(wide.cx, tabbed));
    m_list.ApplyFont(nullptr);
}

TEST_F(ObjectList, SelectionIsSavedByValueOldestFirstAndRestoredIntoView) {
    Fill(std::vector<std::string>(100, "line"));
    const struct {
        std::vector<int> selected;
        std::list<DWORD> before, after;
        bool changed;
    } saves[] = {
        {{}, {}, {}, false},
        {{}, {999}, {}, true},
        {{1, 3, 4}, {999, 104, 777}, {104, 101, 103}, true},
        {{1, 3, 4}, {104, 101, 103}, {104, 101, 103}, false},
        {{1, 4}, {104, 101, 103}, {104, 101}, true},
    };
    for (const auto& save : saves) {
        m_list.SetSel(-1, FALSE);
        for (int line : save.selected) m_list.SetSel(line);
        std::list<DWORD> values = save.before;
        EXPECT_EQ(m_list.SyncSelection(values, TRUE) != FALSE, save.changed);
        EXPECT_EQ(values, save.after);
    }
    m_list.AddLine("again", 102);  // a second line with the value of line 2
    const struct {
        std::list<DWORD> values;
        std::vector<int> selected;
    } restores[] = {{{102, 103}, {2, 3}}, {{5, 6}, {}}, {{110, 160}, {10, 60}}, {{103}, {3}}};
    for (const auto& restore : restores) {
        std::list<DWORD> values = restore.values;
        EXPECT_FALSE(m_list.SyncSelection(values, FALSE));
        EXPECT_EQ(Selected(), restore.selected);
        // The last selected line is in view.
        CRect client, line;
        m_list.GetClientRect(&client);
        m_list.GetItemRect(restore.selected.empty() ? 0 : restore.selected.back(), &line);
        EXPECT_TRUE(line.top >= 0 && line.bottom <= client.bottom) << m_list.GetTopIndex();
    }
}

TEST_F(ObjectList, DescriptionIsTheValueAndTheFirstSelectedLine) {
    m_list.AddLine("zero", 0);
    m_list.AddLine("three", 3);
    const struct {
        int selected;
        DWORD value;
        const char* description;
    } cases[] = {{-1, 3, "0x000003,  "},
                 {1, 3, "0x000003,  three"},
                 {0, 0, "00000000,  zero"},
                 {0, 0x12345678, "0x12345678,  zero"}};
    for (const auto& c : cases) {
        if (c.selected >= 0) m_list.SetSel(c.selected);
        std::string text;
        EXPECT_TRUE(m_list.GetDescription(text, c.value));
        EXPECT_EQ(text, c.description);
    }
}

TEST_F(ObjectList, RightButtonSelectsLikeALeftClickAndStartsNoDrag) {
    Fill({"0", "1", "2", "3", "4", "5"});
    m_list.SetSel(1);
    m_list.Flags() = OLF_DRAGDROP | OLF_READONLY | OLF_TEXT;
    ::SendMessageA(m_list.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, PointOfLine(4));
    EXPECT_EQ(Selected(), (std::vector<int>{4}));
    EXPECT_EQ(m_list.GetCurSel(), 4);
    EXPECT_EQ(m_list.Flags(), OLF_DRAGDROP | OLF_READONLY | OLF_TEXT);
    EXPECT_NE(::GetCapture(), m_list.m_hWnd);  // the press was also released
    EXPECT_EQ(m_list.selChanges, 1);
    // With Ctrl it extends the selection, as a left click would.
    ::SendMessageA(m_list.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, PointOfLine(2));
    EXPECT_EQ(Selected(), (std::vector<int>{2, 4}));
}

TEST_F(ObjectList, ItsNotificationsGoToItsHooksAndNotToTheParent) {
    Fill({"0", "1", "2"});
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        ::SendMessageA(m_list.m_hWnd, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                       PointOfLine(1));
    EXPECT_GE(m_list.selChanges, 1);
    EXPECT_EQ(m_list.doubleClicks, 1);
    EXPECT_GE(m_list.focusGained, 1);
    // The same clicks on a list without an object reach the parent.
    ::SendMessageA(m_plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("plain"));
    ::SendMessageA(m_plain, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageA(m_plain, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    for (const auto& [id, code] : m_parent.seen) EXPECT_NE(id, kListId) << "code " << code;
    EXPECT_NE(std::find(m_parent.seen.begin(), m_parent.seen.end(),
                        std::pair<int, int>(kPlainListId, LBN_SELCHANGE)),
              m_parent.seen.end());

    // Help-tip requests too: asked directly or reflected from the parent.
    const std::string tip = "Module referencies...\nyou may drag'n'drop them elsewhere";
    const struct {
        UINT text;
        HWND to;
        UINT code;
        std::string answer;
    } asks[] = {{0, m_list.m_hWnd, HTN_NEEDTEXT, ""},
                {IDS_TIP_RESULTS, m_list.m_hWnd, HTN_NEEDTEXT, tip},
                {IDS_TIP_RESULTS, m_parent.m_hWnd, HTN_NEEDTEXT, tip},
                {IDS_TIP_RESULTS, m_list.m_hWnd, 9999, ""},
                {55555, m_list.m_hWnd, HTN_NEEDTEXT, ""}};  // no such string
    for (const auto& ask : asks) {
        m_list.m_nTipTextId = ask.text;
        NMHELPTIP request{};
        request.hdr = NMHDR{m_list.m_hWnd, UINT_PTR(kListId), ask.code};
        ::SendMessageA(ask.to, WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&request));
        EXPECT_EQ(request.szText, ask.answer) << ask.text;
    }
}

std::string Record(DWORD pid, DWORD list, DWORD value, const std::string& text,
                   const std::string& group) {
    const kivrel::LineRecord record =
        kivrel::MakeLineRecord({pid, list, value, text, group}, kivrel::CLeadBytes());
    return std::string(reinterpret_cast<const char*>(&record), sizeof(record));
}

TEST_F(ObjectList, AcceptsWhatItsFlagsGroupAndProcessAllow) {
    EXPECT_FALSE(m_list.InitTransfer(OLF_REORDER | OLF_SHARE, "g"));
    EXPECT_EQ(m_list.Target(), nullptr);

    const std::string group(15, 'g');  // as long as a record's group field holds
    const DWORD pid = ::GetCurrentProcessId(), both = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    enum Data {
        kSelf,
        kOther,
        kOtherCase,
        kOtherGroup,
        kOtherProcess,
        kForeign,
        kShortBlock,
        kCutBlock,
        kStreamed,
        kUnterminated
    };
    const WORD reorder = OLF_DRAGDROP | OLF_REORDER, share = OLF_DRAGDROP | OLF_SHARE;
    const struct {
        WORD flags;
        Data data;
        DWORD keys, allowed, effect;
    } cases[] = {
        {reorder, kSelf, 0, both, DROPEFFECT_MOVE},
        {reorder, kSelf, MK_CONTROL, both, DROPEFFECT_COPY},
        // The source allows only a copy: a move becomes one.
        {reorder, kSelf, 0, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {reorder | OLF_READONLY, kSelf, 0, both, DROPEFFECT_NONE},
        {reorder, kOther, 0, both, DROPEFFECT_NONE},
        {share, kOther, 0, both, DROPEFFECT_MOVE},
        {share, kOtherCase, 0, both, DROPEFFECT_MOVE},
        {share, kOtherGroup, 0, both, DROPEFFECT_NONE},
        {share, kOtherProcess, 0, both, DROPEFFECT_NONE},
        {share, kSelf, 0, both, DROPEFFECT_NONE},
        {share, kForeign, 0, both, DROPEFFECT_NONE},
        {share | OLF_READONLY, kForeign, 0, both, DROPEFFECT_MOVE},
        {share | OLF_READONLY, kSelf, 0, both, DROPEFFECT_NONE},
        // A record is read only within its block, never from a stream, and
        // its unterminated fields only as far as they go.
        {share, kShortBlock, 0, both, DROPEFFECT_NONE},
        {share, kCutBlock, 0, both, DROPEFFECT_NONE},
        {share, kStreamed, 0, both, DROPEFFECT_NONE},
        {share, kUnterminated, 0, both, DROPEFFECT_MOVE},
        // The results list's flags: no drop at all.
        {OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, kOther, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, kForeign, 0, both, DROPEFFECT_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " data " << c.data);
        CTestList other;
        ASSERT_TRUE(other.SubclassWindow(m_plain));
        ASSERT_TRUE(m_list.InitTransfer(c.flags, group.c_str()));
        Fill({"a", "b"});
        std::string record = Record(pid, m_list.Identity(), 7, "line", group);
        const std::string shared = Record(pid, other.Identity(), 7, "line", group);
        std::string unterminated = Record(pid, other.Identity(), 0xDEADBEEF, "", "");
        unterminated.replace(12, 128, std::string(128, 'y')).replace(140, 16, std::string(16, 'g'));
        const std::map<Data, std::string> records = {
            {kOther, shared},
            {kOtherCase, Record(pid, other.Identity(), 7, "line", std::string(15, 'G'))},
            {kOtherGroup, Record(pid, other.Identity(), 7, "line", std::string(14, 'g'))},
            {kOtherProcess, Record(pid + 4, other.Identity(), 7, "line", group)},
            {kShortBlock, std::string(4, '\0')},
            {kCutBlock, shared.substr(0, shared.size() - 1)},
            {kStreamed, shared},
            {kUnterminated, unterminated},
        };
        if (c.data != kSelf) record = records.count(c.data) ? records.at(c.data) : "";
        CTestDataObject* data = CTestDataObject::Create();
        data->Offer(c.data == kForeign ? CLIPFORMAT(CF_TEXT) : kRecordFormat,
                    c.data == kForeign ? std::string("text", 5) : record,
                    c.data == kStreamed ? TYMED_ISTREAM : TYMED_HGLOBAL);
        // Below the lines, as OLE would: a drop only after an enter that took it.
        POINT at{5, 150};
        ::ClientToScreen(m_list.m_hWnd, &at);
        DWORD effect = c.allowed;
        m_list.Target()->DragEnter(data, c.keys, POINTL{at.x, at.y}, &effect);
        EXPECT_EQ(effect, c.effect);
        if (effect != DROPEFFECT_NONE) {
            effect = c.allowed;
            m_list.Target()->Drop(data, c.keys, POINTL{at.x, at.y}, &effect);
            EXPECT_EQ(effect, c.effect);
        } else {
            m_list.Target()->DragLeave();
        }
        // A read-only list takes the drop and keeps nothing.
        std::vector<Line> lines = {{"a", 100}, {"b", 101}};
        if (c.effect != DROPEFFECT_NONE && !(c.flags & OLF_READONLY)) {
            lines.push_back(c.data == kUnterminated ? Line{std::string(127, 'y'), 0xDEADBEEF}
                                                    : Line{"line", 7});
        }
        EXPECT_EQ(ListLines(m_list.m_hWnd), lines);
        EXPECT_EQ(data->References(), 1);
        data->Release();
        other.UnsubclassWindow();
        Reset();
    }
}

TEST_F(ObjectList, DragWaitsForTheDistanceOrTheDelayWithTheButtonHeld) {
    const POINT centre = CentreOf(m_list.m_hWnd);
    const RECT aroundPress = DragStartRect(centre);
    EXPECT_EQ(aroundPress.right - aroundPress.left, 5);
    // Where the pointer cannot leave the rectangle, only time and keys count.
    const RECT anywhere{-10000, -10000, 10000, 10000};
    const struct {
        DWORD delay;
        const RECT* start;
        bool move, escape;
        BOOL dragged;
    } cases[] = {
        {1500, &anywhere, false, false, FALSE},
        {1500, &anywhere, false, true, FALSE},
        {100, &anywhere, false, false, TRUE},
        {1500, &aroundPress, true, false, TRUE},
    };
    for (const auto& c : cases) {
        ::WriteProfileStringA("windows", "DragDelay", std::to_string(c.delay).c_str());
        MoveCursor(centre);
        BYTE keys[256];
        ::GetKeyboardState(keys);
        keys[VK_LBUTTON] = 0x80;
        ::SetKeyboardState(keys);
        // 300 ms after the press: the pointer moves, then Escape or the release.
        const Step end = [&, ticks = 0]() mutable {
            if (++ticks < 6) return false;
            MoveCursor(c.move ? POINT{centre.x + 3, centre.y} : centre);
            if (c.escape) {
                ::PostMessageA(nullptr, WM_KEYDOWN, VK_ESCAPE, 0);
            } else {
                keys[VK_LBUTTON] = 0;
                ::SetKeyboardState(keys);
            }
            return true;
        };
        BOOL dragged = -1;
        RunSteps({end}, [&] { dragged = WaitForDragStart(m_list.m_hWnd, *c.start, MK_LBUTTON); });
        EXPECT_EQ(dragged, c.dragged) << c.delay << c.move;
        keys[VK_LBUTTON] = 0;
        ::SetKeyboardState(keys);
        PumpMessages(350);
    }
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
}

TEST_F(ObjectList, AMoveWithinTheListDeletesTheDraggedLineAndACopyKeepsIt) {
    const struct {
        int from;
        int to;  // the line whose upper half takes the drop; -1: below the last
        bool ctrl;
        std::vector<std::string> after;
    } cases[] = {
        {2, 0, false, {"C", "A", "B", "D"}},
        {0, -1, false, {"B", "C", "D", "A"}},
        {1, 3, false, {"A", "C", "B", "D"}},
        {1, -1, true, {"A", "B", "C", "D", "B"}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(m_list.InitTransfer(OLF_DRAGDROP | OLF_REORDER, "g"));
        Fill({"A", "B", "C", "D"});
        m_list.SetSel(c.from, TRUE);
        POINT to{20, 190};
        if (c.to >= 0) {
            RECT line;
            m_list.GetItemRect(c.to, &line);
            to = POINT{20, line.top + 1};
        }
        ::ClientToScreen(m_list.m_hWnd, &to);
        DragWithMouse(m_list.m_hWnd, LineCentre(m_list.m_hWnd, c.from), to, c.ctrl);
        std::vector<std::string> texts;
        for (const Line& line : ListLines(m_list.m_hWnd)) texts.push_back(line.text);
        EXPECT_EQ(texts, c.after) << c.from << " to " << c.to;
        Reset();
    }
}

// The results list of the main dialog after a scan of the fixture program.
class ResultsDrag : public DialogTest {
protected:
    void Run(const std::function<void(HWND list)>& body) {
        AfxGetApp()->m_strCmdLine = FixtureProgram();
        CKivrelDlg dialog;
        RunDialog(dialog, [&](HWND hDialog) { body(::GetDlgItem(hDialog, IDC_RESULTS)); });
    }
};

TEST_F(ResultsDrag, OffersOnlyCopiesOfTheSelectedFoundModulesInListOrder) {
    Run([&](HWND list) {
        const std::vector<Line> lines = ListLines(list);
        std::vector<int> found;
        int heading = -1;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].value != 0) found.push_back(int(i));
            if (lines[i].text == "*** NOT FOUND or INCORRECT ***") heading = int(i);
        }
        ASSERT_GE(found.size(), 2u);
        ASSERT_GE(heading, 0);
        const int first = found[0], last = found.back();
        const struct {
            std::vector<int> selected;
            int caret;  // also where the press lands
            std::vector<std::string> files;
            std::string recordText;
        } cases[] = {
            {{last, heading, first}, last, {lines[first].text, lines[last].text}, lines[last].text},
            // No found module selected: no files, the record of the caret line.
            {{heading, int(lines.size()) - 1}, heading, {}, lines[heading].text},
        };
        for (const auto& c : cases) {
            ::SendMessageA(list, LB_SETSEL, FALSE, -1);
            for (int line : c.selected) ::SendMessageA(list, LB_SETSEL, TRUE, line);
            ::SendMessageA(list, LB_SETCARETINDEX, c.caret, FALSE);
            CRecordingWindow target(RECT{0, 0, 200, 150}, DROPEFFECT_MOVE);
            DragWithMouse(list, LineCentre(list, c.caret), target.Centre());
            const DropRecord& got = target.m_record;
            ASSERT_EQ(got.drops, 1);
            EXPECT_EQ(got.allowedAtDrop, DWORD(DROPEFFECT_COPY));
            const auto files = got.data.find(CF_HDROP);
            const auto expected = kivrel::BuildFileList(c.files);
            EXPECT_EQ(files == got.data.end() ? "" : files->second,
                      c.files.empty() ? "" : std::string(expected.begin(), expected.end()));
            ASSERT_EQ(got.data.count(kRecordFormat), 1u);
            const std::string& bytes = got.data.at(kRecordFormat);
            const auto record = kivrel::ReadLineRecord(bytes.data(), bytes.size());
            ASSERT_TRUE(record);
            EXPECT_EQ(record->text, c.recordText.substr(0, 127));
            EXPECT_EQ(record->group, "windowsmodule");
            EXPECT_EQ(got.data.count(CF_TEXT), 1u);
            // The selection survived the press, and every line stayed.
            for (int line : c.selected) EXPECT_GT(::SendMessageA(list, LB_GETSEL, line, 0), 0);
            EXPECT_EQ(ListLines(list), lines);
        }
    });
}

TEST_F(ResultsDrag, APressWithoutADragIsAnOrdinaryClick) {
    Run([&](HWND list) {
        ::SendMessageA(list, LB_SETSEL, TRUE, 0);
        ::SendMessageA(list, LB_SETSEL, TRUE, 1);
        PressWithMouse(list, LineCentre(list, 1), 60);
        EXPECT_EQ(::SendMessageA(list, LB_GETSELCOUNT, 0, 0), 1);
        EXPECT_GT(::SendMessageA(list, LB_GETSEL, 1, 0), 0);
    });
}

}  // namespace
}  // namespace kivrel_test
