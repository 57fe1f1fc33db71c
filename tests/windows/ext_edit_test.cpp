// CExtEdit: what its drop target takes and reports, shell file drops as
// hand-built blocks, and real drags of its text.
#include "ext_edit.h"

#include <gtest/gtest.h>

#include "drag_test_support.h"
#include "ext_edit_drop_target.h"
#include "file_list.h"
#include "global_memory.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

class CTestEdit : public CExtEdit {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
};

std::string FileList(const std::vector<std::string>& names) {
    const auto block = kivrel::BuildFileList(names);
    return std::string(block.begin(), block.end());
}

class ExtEdit : public testing::Test {
protected:
    void SetUp() override {
        m_hParent = TestWindow("STATIC", WS_OVERLAPPEDWINDOW, {300, 300, 700, 420});
        HWND edit = TestWindow("Edit", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, {10, 10, 370, 34},
                               m_hParent, 200);
        ASSERT_TRUE(m_edit.SubclassWindow(edit));
        ASSERT_TRUE(m_edit.EnableDragDrop());
        m_edit.DragAcceptFiles(TRUE);
        ::SetForegroundWindow(m_hParent);
        ::SetFocus(edit);
        PumpMessages(20);
    }
    void TearDown() override {
        ::DestroyWindow(m_hParent);
        PumpMessages(10);
    }
    // The client position of character `index`.
    POINT CharAt(int index) {
        const LRESULT at = m_edit.SendMessage(EM_POSFROMCHAR, index);
        return POINT{static_cast<short>(LOWORD(at)) + 1, static_cast<short>(HIWORD(at)) + 4};
    }

    HWND m_hParent = nullptr;
    CTestEdit m_edit;
};

TEST_F(ExtEdit, DropsAreReadWithinTheirBlockOrStreamAndACutOneReportsACopy) {
    // Streams that end, never end, report more than they read or fail after a chunk.
    enum { kText, kStream, kEndless, kOversized, kFailing, kFiles, kShell };
    const DWORD move = DROPEFFECT_MOVE, copy = DROPEFFECT_COPY, none = DROPEFFECT_NONE;
    const auto z = [](const std::string& text) { return text + '\0'; };
    std::string wideList = FileList({"C:\\w.dll"});  // made wide: each byte of the names doubled
    wideList[16] = 1;
    for (size_t i = wideList.size(); i > kivrel::kFileListHeaderSize; --i)
        wideList.insert(i, 1, '\0');
    // clang-format off
    const struct { int source; std::string bytes; DWORD keys; std::string text; DWORD effect; LRESULT limit = 50; } cases[] = {
        {kText, z("abc") + "zz", 0, "abc", move},
        {kText, std::string(60, 'a'), 0, std::string(50, 'a'), copy},
        {kStream, z("streamed"), 0, "streamed", move},
        {kEndless, "", 0, std::string(50, 'x'), copy},
        {kOversized, "", 0, "", copy},
        {kFailing, "", 0, std::string(254, 'p'), copy, 1000},
        {kFiles, FileList({"C:\\a.dll", "C:\\b.dll"}), 0, "C:\\a.dll", copy},
        {kFiles, wideList, 0, "C:\\w.dll", copy},
        {kFiles, FileList({"C:\\" + std::string(257, 'n')}), 0, "keep", none},  // 260 characters
        {kShell, FileList({"C:\\one.dll", "C:\\two.dll"}), 0, "C:\\one.dll", 0},
        {kShell, FileList({std::string(259, 'n')}), 0, std::string(259, 'n'), 0},
        {kShell, FileList({"C:\\one.dll"}).substr(0, 31), 0, "keep", 0},  // no closing zero
    };
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
        POINT at = CharAt(1);
        ::ClientToScreen(m_edit.m_hWnd, &at);
        const DropResult got =
            DropData(m_edit.Target(), at, c.keys, copy | move,
                     CLIPFORMAT(c.source == kFiles ? CF_HDROP : CF_TEXT), c.bytes,
                     c.source <= kFailing ? StreamKind(c.source) : StreamKind::kNone);
        EXPECT_EQ(m_edit.GetWindowText(), c.text);
        EXPECT_EQ(got.effect, c.effect);
        // Streams are read no further than the limit allows.
        EXPECT_LE(got.streamBytesRead, size_t(c.limit) + 254u);
    }
}

TEST_F(ExtEdit, TextDragsWithinTheFieldLeaveTheClipboardAlone) {
    // A press just after the selection selects; it drags nothing.
    // clang-format off
    const struct { int selStart, selEnd, pressAt, dropAt; bool ctrl; std::string after; } cases[] = {
        {0, 5, 1, 11, false, " worldhello"},
        {6, 11, 7, 0, false, "worldhello "},
        {0, 5, 1, 11, true, "hello worldhello"},
        {0, 5, 5, 11, false, "hello world"},
    };
    // clang-format on
    const DWORD clipboard = ::GetClipboardSequenceNumber();
    for (const auto& c : cases) {
        m_edit.SetWindowText("hello world");
        m_edit.SetSel(c.selStart, c.selEnd);
        POINT to = CharAt(c.dropAt);
        if (c.dropAt == 11) to = POINT{CharAt(10).x + 12, to.y};
        ::ClientToScreen(m_edit.m_hWnd, &to);
        DragWithMouse(m_edit.m_hWnd, CharAt(c.pressAt), to, c.ctrl);
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
TEST_F(ExtEdit, AFieldGoneDuringTheDragOfItsTextEndsItsDragSafely) {
    CExtEdit other;
    ASSERT_TRUE(other.SubclassWindow(TestWindow("Edit", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL,
                                                {10, 50, 370, 74}, m_hParent, 201)));
    ASSERT_TRUE(other.EnableDragDrop());
    m_edit.SetWindowText("hello world");
    m_edit.SetSel(0, 5);
    POINT to{20, 12};
    ::ClientToScreen(other.m_hWnd, &to);
    DragWithMouse(m_edit.m_hWnd, CharAt(1), to, false, [&] { m_edit.DestroyWindow(); });
    EXPECT_FALSE(m_edit.IsWindow());
    EXPECT_EQ(other.GetWindowText(), "hello");
}

}  // namespace
}  // namespace kivrel_test
