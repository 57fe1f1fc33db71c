// CExtEdit and CGenericObjectList: what their drop targets take and report,
// shell file drops as hand-built blocks, real drags of a field's text and of
// a list's lines, and the list's scroll range.
#include <gtest/gtest.h>

#include "ext_edit.h"
#include "ext_edit_drop_target.h"
#include "file_list.h"
#include "gdi.h"
#include "generic_object_list.h"
#include "global_memory.h"
#include "line_record.h"
#include "object_list_drop_target.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

constexpr int kListId = 100, kOtherListId = 101;
const CLIPFORMAT kRecordFormat = CLIPFORMAT(::RegisterClipboardFormatA("CGenericObjectList"));

class CTestEdit : public CExtEdit {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
};

class CTestList : public CGenericObjectList {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
    DWORD Identity() const { return ListIdentity(); }
};

std::string FileList(const std::vector<std::string>& names) {
    const auto block = kivrel::BuildFileList(names);
    return std::string(block.begin(), block.end());
}

// A field and two lists in a window in front.
class Controls : public testing::Test {
protected:
    void SetUp() override {
        m_hParent = TestWindow("STATIC", WS_OVERLAPPEDWINDOW, {300, 300, 760, 640});
        const HWND edit = TestWindow("Edit", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL,
                                     {10, 10, 370, 34}, m_hParent, 200);
        ASSERT_TRUE(m_edit.SubclassWindow(edit));
        ASSERT_TRUE(m_edit.EnableDragDrop());
        m_edit.DragAcceptFiles(TRUE);
        const DWORD style =
            WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT;
        ASSERT_TRUE(m_list.SubclassWindow(
            TestWindow("ListBox", style, {10, 80, 210, 280}, m_hParent, kListId)));
        ASSERT_TRUE(m_other.SubclassWindow(
            TestWindow("ListBox", style, {230, 80, 430, 280}, m_hParent, kOtherListId)));
        ::SetForegroundWindow(m_hParent);
        ::SetFocus(edit);
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
    // The client position of character `index` of the field.
    POINT CharAt(int index) {
        const LRESULT at = m_edit.SendMessage(EM_POSFROMCHAR, index);
        return POINT{static_cast<short>(LOWORD(at)) + 1, static_cast<short>(HIWORD(at)) + 4};
    }

    HWND m_hParent = nullptr;
    CTestEdit m_edit;
    CTestList m_list, m_other;
};

TEST_F(Controls, FieldDropsAreReadWithinTheirBlockOrStreamAndACutOneReportsACopy) {
    // Streams that end, never end, report more than they read or fail after a chunk.
    enum { kText, kStream, kEndless, kOversized, kFailing, kFiles, kShell };
    const DWORD move = DROPEFFECT_MOVE, copy = DROPEFFECT_COPY, none = DROPEFFECT_NONE;
    const auto z = [](const std::string& text) { return text + '\0'; };
    std::string wideList = FileList({"C:\\w.dll"});  // made wide: each byte of the names doubled
    wideList[16] = 1;
    for (size_t i = wideList.size(); i > kivrel::kFileListHeaderSize; --i)
        wideList.insert(i, 1, '\0');
    // clang-format off
    const struct { int source; std::string bytes, text; DWORD effect; LRESULT limit = 50; } cases[] = {
        {kText, z("abc") + "zz", "abc", move}, {kText, std::string(60, 'a'), std::string(50, 'a'), copy},
        {kStream, z("streamed"), "streamed", move}, {kEndless, "", std::string(50, 'x'), copy},
        {kOversized, "", "", copy}, {kFailing, "", std::string(254, 'p'), copy, 1000},
        {kFiles, FileList({"C:\\a.dll", "C:\\b.dll"}), "C:\\a.dll", copy}, {kFiles, wideList, "C:\\w.dll", copy},
        {kFiles, FileList({"C:\\" + std::string(257, 'n')}), "keep", none},  // 260 characters
        {kShell, FileList({"C:\\one.dll", "C:\\two.dll"}), "C:\\one.dll", 0},
        {kShell, FileList({std::string(259, 'n')}), std::string(259, 'n'), 0},
        {kShell, FileList({"C:\\one.dll"}).substr(0, 31), "keep", 0}};  // no closing zero
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        m_edit.SetWindowText("keep");
        m_edit.SetSel(0, -1);
        m_edit.SendMessage(EM_LIMITTEXT, c.limit);
        if (c.source == kShell) {
            const HGLOBAL block = AllocateGlobalCopy(c.bytes.data(), c.bytes.size()).Detach();
            m_edit.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(block));
            EXPECT_EQ(m_edit.GetWindowText(), c.text);
            continue;
        }
        const DropResult got =
            DropData(m_edit.Target(), ToScreen(m_edit.m_hWnd, CharAt(1)),
                     CLIPFORMAT(c.source == kFiles ? CF_HDROP : CF_TEXT), c.bytes,
                     c.source <= kFailing ? StreamKind(c.source) : StreamKind::kNone);
        EXPECT_EQ(m_edit.GetWindowText(), c.text);
        EXPECT_EQ(got.effect, c.effect);
        // Streams are read no further than the limit allows.
        EXPECT_LE(got.streamBytesRead, size_t(c.limit) + 254u);
    }
}

TEST_F(Controls, TextDragsWithinTheFieldLeaveTheClipboardAlone) {
    // A press just after the selection selects; it drags nothing.
    // clang-format off
    const struct { int selStart, selEnd, pressAt, dropAt; bool ctrl; std::string after; } cases[] = {
        {0, 5, 1, 11, false, " worldhello"}, {6, 11, 7, 0, false, "worldhello "},
        {0, 5, 1, 11, true, "hello worldhello"}, {0, 5, 5, 11, false, "hello world"}};
    // clang-format on
    const DWORD clipboard = ::GetClipboardSequenceNumber();
    for (const auto& c : cases) {
        m_edit.SetWindowText("hello world");
        m_edit.SetSel(c.selStart, c.selEnd);
        POINT to = CharAt(c.dropAt);
        if (c.dropAt == 11) to = POINT{CharAt(10).x + 12, to.y};
        DragWithMouse(m_edit.m_hWnd, CharAt(c.pressAt), ToScreen(m_edit.m_hWnd, to), c.ctrl);
        EXPECT_EQ(m_edit.GetWindowText(), c.after) << c.pressAt << " to " << c.dropAt;
    }
    // A press on the selection that starts no drag is an ordinary click.
    m_edit.SetSel(0, 5);
    PressWithMouse(m_edit.m_hWnd, CharAt(2));
    DWORD start = 0, end = 0;
    m_edit.SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, end);
    EXPECT_EQ(::GetClipboardSequenceNumber(), clipboard);
    // The sequence number does count a copy here.
    m_edit.SetSel(0, 5);
    m_edit.SendMessage(WM_COPY);
    EXPECT_NE(::GetClipboardSequenceNumber(), clipboard);
}

// The field's window, and its drop target with it, going while its text is
// dragged: the text still moves, and the field's end of the drag crashes on
// nothing.
TEST_F(Controls, AFieldGoneDuringTheDragOfItsTextEndsItsDragSafely) {
    CExtEdit other;
    ASSERT_TRUE(other.SubclassWindow(TestWindow("Edit", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL,
                                                {10, 50, 370, 74}, m_hParent, 201)));
    ASSERT_TRUE(other.EnableDragDrop());
    m_edit.SetWindowText("hello world");
    m_edit.SetSel(0, 5);
    DragWithMouse(m_edit.m_hWnd, CharAt(1), ToScreen(other.m_hWnd, {20, 12}), false,
                  [&] { m_edit.DestroyWindow(); });
    EXPECT_FALSE(m_edit.IsWindow());
    EXPECT_EQ(other.GetWindowText(), "hello");
}

TEST_F(Controls, AListAcceptsWhatItsFlagsGroupAndProcessAllow) {
    // Records of this list, of another, with the group in capitals, of another
    // group or process; text; a record cut short, streamed or unterminated.
    enum { kSelf, kOther, kCaps, kGroup, kPid, kText, kCut, kStream, kOpen };
    const WORD reorder = OLF_DRAGDROP | OLF_REORDER, share = OLF_DRAGDROP | OLF_SHARE;
    const WORD results = OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, ro = OLF_READONLY;
    const DWORD none = DROPEFFECT_NONE, move = DROPEFFECT_MOVE;
    // clang-format off
    const struct { WORD flags; int data; DWORD effect; } cases[] = {
        {reorder, kSelf, move}, {reorder | ro, kSelf, none}, {reorder, kOther, none},
        {share, kOther, move}, {share, kCaps, move}, {share, kGroup, none}, {share, kPid, none},
        {share, kSelf, none}, {share, kText, none}, {share | ro, kText, move}, {share, kCut, none},
        {share, kStream, none}, {share, kOpen, move}, {results, kText, none}};
    // clang-format on
    const std::string group(15, 'g');  // as long as a record's group field holds
    const DWORD pid = ::GetCurrentProcessId();
    const auto record = [](DWORD pid, DWORD list, const std::string& group) {
        const auto r = kivrel::MakeLineRecord({pid, list, 7, "line", group}, kivrel::CLeadBytes());
        return std::string(reinterpret_cast<const char*>(&r), sizeof(r));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << " data " << c.data);
        ASSERT_TRUE(m_list.InitTransfer(c.flags, group.c_str()));
        Fill("ab");
        const DWORD to = m_other.Identity();
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
        EXPECT_EQ(  // below the lines
            DropData(m_list.Target(), ToScreen(m_list.m_hWnd, {5, 150}),
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
        Reset();
    }
}

TEST_F(Controls, AMoveWithinTheListDeletesTheDraggedLineAndACopyKeepsIt) {
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
        DragWithMouse(m_list.m_hWnd, LineCentre(m_list.m_hWnd, c.selected.back()),
                      ToScreen(m_list.m_hWnd, {20, line.top + 1}), c.ctrl);
        std::string after;
        for (const Line& line : ListLines(m_list.m_hWnd)) after += line.text;
        EXPECT_EQ(after, c.after) << c.caret << " to " << c.to;
        Reset();
    }
}

// A larger font widens the scroll range at once, so the end of a long line
// can be reached without waiting for the next lines to be added.
TEST_F(Controls, ANewFontMeasuresTheLinesAgain) {
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

}  // namespace
}  // namespace kivrel_test
