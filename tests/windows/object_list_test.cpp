// CGenericObjectList: which drops it takes, real drags within it, and the
// results list's drags in the main dialog.
#include <gtest/gtest.h>

#include <cstdio>

#include "drag_test_support.h"
#include "gdi.h"
#include "generic_object_list.h"
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

class CTestList : public CGenericObjectList {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
    DWORD Identity() const { return ListIdentity(); }
};

class ObjectList : public testing::Test {
protected:
    void SetUp() override {
        m_hParent = TestWindow("STATIC", WS_OVERLAPPEDWINDOW, {300, 300, 760, 560});
        const DWORD style =
            WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT;
        ASSERT_TRUE(m_list.SubclassWindow(
            TestWindow("ListBox", style, {10, 10, 210, 210}, m_hParent, kListId)));
        m_plain = TestWindow("ListBox", style, {230, 10, 430, 210}, m_hParent, kPlainListId);
        ::SetForegroundWindow(m_hParent);
        PumpMessages(20);
    }
    void TearDown() override {
        ::DestroyWindow(m_hParent);
        PumpMessages(10);
    }
    void Reset() {
        TearDown();
        SetUp();
    }
    void Fill(const std::string& texts) {
        for (size_t i = 0; i < texts.size(); ++i)
            m_list.AddLine(texts.substr(i, 1).c_str(), DWORD(100 + i));
    }

    HWND m_hParent = nullptr, m_plain = nullptr;
    CTestList m_list;
};

TEST_F(ObjectList, AcceptsWhatItsFlagsGroupAndProcessAllow) {
    // Records of this list, of another, with the group in capitals, of another
    // group or process; text; a record cut short, streamed or unterminated.
    enum { kSelf, kOther, kCaps, kGroup, kPid, kText, kCut, kStream, kOpen };
    const WORD reorder = OLF_DRAGDROP | OLF_REORDER, share = OLF_DRAGDROP | OLF_SHARE;
    const WORD results = OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, ro = OLF_READONLY;
    const DWORD none = DROPEFFECT_NONE, copy = DROPEFFECT_COPY, move = DROPEFFECT_MOVE;
    // clang-format off
    const struct { WORD flags; int data; DWORD keys, effect; } cases[] = {
        {reorder, kSelf, 0, move},
        {reorder | ro, kSelf, 0, none},
        {reorder, kOther, 0, none},
        {share, kOther, 0, move},
        {share, kCaps, 0, move},
        {share, kGroup, 0, none},
        {share, kPid, 0, none},
        {share, kSelf, 0, none},
        {share, kText, 0, none},
        {share | ro, kText, 0, move},
        {share, kCut, 0, none},
        {share, kStream, 0, none},
        {share, kOpen, 0, move},
        {results, kText, 0, none},
    };
    // clang-format on
    const std::string group(15, 'g');  // as long as a record's group field holds
    const DWORD pid = ::GetCurrentProcessId();
    const auto record = [](DWORD pid, DWORD list, const std::string& group) {
        const auto r = kivrel::MakeLineRecord({pid, list, 7, "line", group}, kivrel::CLeadBytes());
        return std::string(reinterpret_cast<const char*>(&r), sizeof(r));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " data " << c.data);
        CTestList other;
        ASSERT_TRUE(other.SubclassWindow(m_plain));
        ASSERT_TRUE(m_list.InitTransfer(c.flags, group.c_str()));
        Fill("ab");
        const DWORD to = other.Identity();
        const std::string shared = record(pid, to, group);
        // No terminator in either text: the list takes 127 and 15 bytes of them.
        std::string open = shared;
        open.replace(8, 4, "\xEF\xBE\xAD\xDE").replace(12, 128, 128, 'y').replace(140, 16, 16, 'g');
        const std::string records[] = {record(pid, m_list.Identity(), group),
                                       shared,
                                       record(pid, to, std::string(15, 'G')),
                                       record(pid, to, std::string(14, 'g')),
                                       record(pid + 4, to, group),
                                       std::string("text", 5),
                                       shared.substr(0, shared.size() - 1),
                                       shared,
                                       open};
        // Below the lines.
        POINT at{5, 150};
        ::ClientToScreen(m_list.m_hWnd, &at);
        EXPECT_EQ(DropData(m_list.Target(), at, c.keys, copy | move,
                           c.data == kText ? CLIPFORMAT(CF_TEXT) : kRecordFormat, records[c.data],
                           c.data == kStream ? StreamKind::kPlain : StreamKind::kNone)
                      .effect,
                  c.effect);
        // A read-only list takes the drop and keeps nothing.
        std::vector<Line> lines = {{"a", 100}, {"b", 101}};
        if (c.effect != none && !(c.flags & OLF_READONLY))
            lines.push_back(c.data == kOpen ? Line{std::string(127, 'y'), 0xDEADBEEF}
                                            : Line{"line", 7});
        EXPECT_EQ(ListLines(m_list.m_hWnd), lines);
        other.UnsubclassWindow();
        Reset();
    }
}

TEST_F(ObjectList, AMoveWithinTheListDeletesTheDraggedLineAndACopyKeepsIt) {
    // The press lands on the last line selected; the caret line is dragged if
    // it is selected, else the first selected line. Dropped on the upper half
    // of line `to`; -1: below the last line.
    // clang-format off
    const struct { std::vector<int> selected; int caret, to; bool ctrl; std::string after; } cases[] = {
        {{2}, 2, 0, false, "CABD"}, {{1}, 1, 3, false, "ACBD"}, {{1}, 1, -1, true, "ABCDB"},
        {{0, 2}, 1, -1, true, "ABCDA"},
    };
    // clang-format on
    for (const auto& c : cases) {
        ASSERT_TRUE(m_list.InitTransfer(OLF_DRAGDROP | OLF_REORDER, "g"));
        Fill("ABCD");
        for (int line : c.selected) m_list.SetSel(line, TRUE);
        m_list.SendMessage(LB_SETCARETINDEX, c.caret);
        CRect line(0, 189, 0, 0);
        if (c.to >= 0) m_list.GetItemRect(c.to, &line);
        POINT to{20, line.top + 1};
        ::ClientToScreen(m_list.m_hWnd, &to);
        DragWithMouse(m_list.m_hWnd, LineCentre(m_list.m_hWnd, c.selected.back()), to, c.ctrl);
        std::string after;
        for (const Line& line : ListLines(m_list.m_hWnd)) after += line.text;
        EXPECT_EQ(after, c.after) << c.caret << " to " << c.to;
        Reset();
    }
}

// A larger font widens the scroll range at once, so the end of a long line
// can be reached without waiting for the next lines to be added.
TEST_F(ObjectList, ANewFontMeasuresTheLinesAgain) {
    const std::string longLine = "C:\\" + std::string(60, 'w') + ".dll";
    Fill("ab");
    m_list.AddLine(longLine.c_str(), 1);
    LOGFONTA large{};
    large.lfHeight = -40;
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&large));
    m_list.ApplyFont(&font);
    CClientDC dc(m_list.m_hWnd);
    CSelectObject selected(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32A(dc, longLine.c_str(), int(longLine.size()), &size);
    EXPECT_EQ(m_list.GetHorizontalExtent(), size.cx);
}

// The results list after a scan of the fixture program.
class ResultsDrag : public DialogTest {};

TEST_F(ResultsDrag, AFieldTakesTheDescriptionAndAPressWithoutADragIsAClick) {
    AfxGetApp()->m_strCmdLine = FixtureProgram();
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDialog) {
        const HWND list = ::GetDlgItem(hDialog, IDC_RESULTS);
        const std::vector<Line> lines = ListLines(list);
        int first = -1, last = -1;  // found modules
        for (int i = 0; i < int(lines.size()); ++i)
            if (lines[i].value != 0) last = i, first = first < 0 ? i : first;
        ASSERT_GT(last, first);
        const HWND field = ::GetDlgItem(hDialog, IDC_INITIAL_DIR);
        for (int line : {first, last}) ::SendMessageA(list, LB_SETSEL, TRUE, line);
        const CRect box = WindowRect(field);
        DragWithMouse(list, LineCentre(list, last),
                      POINT{box.left + 20, (box.top + box.bottom) / 2});
        char prefix[32];
        std::snprintf(prefix, sizeof(prefix), "%#08lx,  ",
                      static_cast<unsigned long>(lines[first].value));
        EXPECT_EQ(WindowText(field), prefix + lines[first].text);
        EXPECT_EQ(ListLines(list), lines);
        PressWithMouse(list, LineCentre(list, last));
        EXPECT_EQ(::SendMessageA(list, LB_GETSELCOUNT, 0, 0), 1);
        EXPECT_GT(::SendMessageA(list, LB_GETSEL, last, 0), 0);
    });
}

}  // namespace
}  // namespace kivrel_test
