// CExtEdit: what its drop target takes and reports, shell file drops as
// hand-built blocks, real drags of its text, its help-tip answer, and its
// place in the main dialog.
#include "ext_edit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "drag_test_support.h"
#include "ext_edit_drop_target.h"
#include "file_list.h"
#include "help_tip_request.h"
#include "kivrel_dlg.h"
#include "resource.h"
#include "resource_string.h"
#include "test_support.h"
#include "win_app.h"

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

std::string WideFileList(const std::u16string& name) {
    std::string block(kivrel::kFileListHeaderSize, '\0');
    block[0] = 20;
    block[16] = 1;
    block.append(reinterpret_cast<const char*>(name.c_str()), 2 * (name.size() + 1));
    return block + std::string(2, '\0');
}

HGLOBAL Block(const std::string& bytes) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    return block;
}

std::string ClipboardText() {
    std::string text;
    if (!::OpenClipboard(nullptr)) return "(closed)";
    if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
}

void SetClipboardText(const std::string& text) {
    ::OpenClipboard(nullptr);
    ::EmptyClipboard();
    ::SetClipboardData(CF_TEXT, Block(text + '\0'));
    ::CloseClipboard();
}

class ExtEdit : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &::DefWindowProcA;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KivrelEditParent";
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        ::RegisterClassA(&windowClass);
        m_hParent =
            ::CreateWindowExA(0, "KivrelEditParent", "fields", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              300, 300, 400, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
        HWND edit = ::CreateWindowExA(
            0, "Edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 360, 24,
            m_hParent, reinterpret_cast<HMENU>(200), windowClass.hInstance, nullptr);
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
    const std::string endless;
    struct Case {
        const char* what;
        CLIPFORMAT cf;
        std::string bytes;
        DWORD delivered;
        StreamKind stream;
        DWORD keys;
        std::string text;  // the field afterwards
        DWORD effect;
        LRESULT limit = 50;
    };
    const DWORD kMove = DROPEFFECT_MOVE;
    const DWORD kCopy = DROPEFFECT_COPY;
    const Case cases[] = {
        {"text", CF_TEXT, std::string("abc\0zz", 6), TYMED_HGLOBAL, StreamKind::kPlain, 0, "abc",
         kMove},
        {"text with Ctrl", CF_TEXT, std::string("abc\0", 4), TYMED_HGLOBAL, StreamKind::kPlain,
         MK_CONTROL, "abc", kCopy},
        {"no terminator", CF_TEXT, "abc", TYMED_HGLOBAL, StreamKind::kPlain, 0, "abc", kMove},
        {"two lines", CF_TEXT, std::string("ab\r\ncd\0", 7), TYMED_HGLOBAL, StreamKind::kPlain, 0,
         "ab", kCopy},
        {"over the limit", CF_TEXT, std::string(60, 'a'), TYMED_HGLOBAL, StreamKind::kPlain, 0,
         std::string(50, 'a'), kCopy},
        {"stream", CF_TEXT, std::string("streamed\0", 9), TYMED_ISTREAM, StreamKind::kPlain, 0,
         "streamed", kMove},
        {"endless stream", CF_TEXT, "", TYMED_ISTREAM, StreamKind::kEndless, 0,
         std::string(50, 'x'), kCopy},
        {"oversized reads", CF_TEXT, "", TYMED_ISTREAM, StreamKind::kOversized, 0, "", kCopy},
        {"failing stream", CF_TEXT, "", TYMED_ISTREAM, StreamKind::kFailing, 0,
         std::string(254, 'p'), kCopy, 1000},
        {"three files", CF_HDROP, FileList({"C:\\a.dll", "C:\\b.dll", "C:\\c.dll"}), TYMED_HGLOBAL,
         StreamKind::kPlain, 0, "C:\\a.dll", kCopy},
        {"wide file", CF_HDROP, WideFileList(u"C:\\w.dll"), TYMED_HGLOBAL, StreamKind::kPlain, 0,
         "C:\\w.dll", kCopy},
        {"name of 260", CF_HDROP, FileList({"C:\\" + std::string(257, 'n')}), TYMED_HGLOBAL,
         StreamKind::kPlain, 0, "keep", 0},
        {"lying offset", CF_HDROP, FileList({"C:\\a.dll"}).replace(0, 1, "\x7f"), TYMED_HGLOBAL,
         StreamKind::kPlain, 0, "keep", 0},
        {"files as a stream", CF_HDROP, FileList({"C:\\a.dll"}), TYMED_ISTREAM, StreamKind::kPlain,
         0, "keep", 0},
    };
    for (const Case& c : cases) {
        m_edit.SetWindowText("keep");
        m_edit.SetSel(0, -1);
        m_edit.SendMessage(EM_LIMITTEXT, c.limit);
        CTestDataObject* data = CTestDataObject::Create();
        data->Offer(c.cf, c.bytes, c.delivered, c.stream);
        POINT at = CharAt(1);
        ::ClientToScreen(m_edit.m_hWnd, &at);
        DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        m_edit.Target()->DragEnter(data, c.keys, POINTL{at.x, at.y}, &entered);
        DWORD dropped = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        m_edit.Target()->Drop(data, c.keys, POINTL{at.x, at.y}, &dropped);
        EXPECT_EQ(m_edit.GetWindowText(), c.text) << c.what;
        EXPECT_EQ(dropped, c.effect) << c.what;
        // Streams are read no further than the limit allows.
        EXPECT_LE(data->StreamBytesRead(), size_t(c.limit) + 254u) << c.what;
        EXPECT_EQ(data->References(), 1) << c.what;
        data->Release();
    }
}

TEST_F(ExtEdit, AReadOnlyFieldRefusesEveryDrop) {
    m_edit.SendMessage(EM_SETREADONLY, TRUE);
    m_edit.SetWindowText("keep");
    for (CLIPFORMAT cf : {CF_TEXT, CF_HDROP}) {
        CTestDataObject* data = CTestDataObject::Create();
        data->Offer(cf, cf == CF_TEXT ? std::string("abc\0", 4) : FileList({"C:\\a.dll"}));
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        m_edit.Target()->DragEnter(data, 0, POINTL{310, 320}, &effect);
        EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
        m_edit.Target()->DragLeave();
        EXPECT_EQ(data->References(), 1);
        data->Release();
    }
    EXPECT_EQ(m_edit.GetWindowText(), "keep");
}

TEST_F(ExtEdit, ShellDropsTakeTheFirstNameOfAValidBlockOnly) {
    struct Case {
        const char* what;
        std::string block;
        std::string text;
    };
    const std::string longName = "C:\\" + std::string(300, 'n') + ".dll";
    const Case cases[] = {
        {"three files", FileList({"C:\\one.dll", "C:\\two.dll", "C:\\three.dll"}), "C:\\one.dll"},
        {"name of 259", FileList({std::string(259, 'n')}), std::string(259, 'n')},
        {"300 characters", FileList({longName, "C:\\two.dll"}), "keep"},
        {"no closing zero", FileList({"C:\\one.dll"}).substr(0, 31), "keep"},
        {"offset past the end", std::string("\xff\0\0\0", 4) + FileList({"C:\\a"}).substr(4),
         "keep"},
        {"header cut short", std::string(12, '\0'), "keep"},
    };
    for (const Case& c : cases) {
        m_edit.SetWindowText("keep");
        m_edit.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(Block(c.block)));
        EXPECT_EQ(m_edit.GetWindowText(), c.text) << c.what;
    }
}

TEST_F(ExtEdit, TextDragsWithinTheFieldLeaveTheClipboardAlone) {
    struct Case {
        int selStart, selEnd, dropAt;
        bool ctrl;
        std::string after;
    };
    const Case cases[] = {
        {0, 5, 11, false, " worldhello"},
        {6, 11, 0, false, "worldhello "},
        {0, 5, 11, true, "hello worldhello"},
    };
    for (const Case& c : cases) {
        SetClipboardText("untouched");
        m_edit.SetWindowText("hello world");
        m_edit.SetSel(c.selStart, c.selEnd);
        POINT to = CharAt(c.dropAt);
        if (c.dropAt == 11) to = POINT{CharAt(10).x + 12, to.y};
        ::ClientToScreen(m_edit.m_hWnd, &to);
        DragWithMouse(m_edit.m_hWnd, CharAt(c.selStart + 1), to, c.ctrl);
        EXPECT_EQ(m_edit.GetWindowText(), c.after) << c.selStart << " to " << c.dropAt;
        EXPECT_EQ(ClipboardText(), "untouched");
    }
}

TEST_F(ExtEdit, APressThatStartsNoDragIsAnOrdinaryClick) {
    ::WriteProfileStringA("windows", "DragDelay", "5000");
    ::WriteProfileStringA("windows", "DragMinDist", "2000");
    SetClipboardText("untouched");
    m_edit.SetWindowText("hello world");
    m_edit.SetSel(0, 5);
    PressWithMouse(m_edit.m_hWnd, CharAt(2), 60);
    DWORD start = 0, end = 0;
    m_edit.SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, end);
    EXPECT_EQ(ClipboardText(), "untouched");
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
    ::WriteProfileStringA("windows", "DragMinDist", nullptr);
}

TEST_F(ExtEdit, AnswersHelpTipRequestsWithItsString) {
    for (UINT id : {0u, UINT(IDS_TIP_MODULE)}) {
        m_edit.m_nTipTextId = id;
        NMHELPTIP request{};
        request.hdr = NMHDR{m_edit.m_hWnd, 200, HTN_NEEDTEXT};
        m_edit.SendMessage(WM_NOTIFY, 200, reinterpret_cast<LPARAM>(&request));
        EXPECT_EQ(std::string(request.szText), id == 0 ? "" : LoadResString(IDS_TIP_MODULE));
    }
}

TEST(ExtEditInDialog, FieldsTakeFilesAndTextAndAnswerTheirTips) {
    DeleteRegistryTree(kTestSectionPath);
    AfxGetApp()->m_strCmdLine = FixtureProgram();
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDialog) {
        for (auto [field, tip] : {std::pair{IDC_MODULE, IDS_TIP_MODULE},
                                  std::pair{IDC_INITIAL_DIR, IDS_TIP_INITIAL_DIR}}) {
            HWND edit = ::GetDlgItem(hDialog, field);
            EXPECT_NE(::GetWindowLongPtrA(edit, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
            NMHELPTIP request{};
            request.hdr = NMHDR{edit, UINT_PTR(field), HTN_NEEDTEXT};
            ::SendMessageA(edit, WM_NOTIFY, field, reinterpret_cast<LPARAM>(&request));
            EXPECT_EQ(std::string(request.szText), LoadResString(tip));
        }
        // A found module dragged from the results list into the emptied
        // initial-directory field arrives as its description; the list keeps it.
        HWND list = ::GetDlgItem(hDialog, IDC_RESULTS);
        HWND field = ::GetDlgItem(hDialog, IDC_INITIAL_DIR);
        const std::vector<Line> lines = ListLines(list);
        ::SendMessageA(list, LB_SETSEL, TRUE, 0);
        RECT target;
        ::GetWindowRect(field, &target);
        DragWithMouse(list, LineCentre(list, 0),
                      POINT{target.left + 20, (target.top + target.bottom) / 2});
        char prefix[32];
        std::snprintf(prefix, sizeof(prefix), "%#08lx,  ",
                      static_cast<unsigned long>(lines[0].value));
        EXPECT_EQ(WindowText(field), prefix + lines[0].text);
        EXPECT_EQ(ListLines(list), lines);
    });
    AfxGetApp()->m_strCmdLine.clear();
}

}  // namespace
}  // namespace kivrel_test
