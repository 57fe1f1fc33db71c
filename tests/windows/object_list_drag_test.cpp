// Drag-and-drop of object-list lines: which drops a list takes, what a hostile
// record can do, real drags within a list, and the results list's drags out
// of the main dialog.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "drag_starter.h"
#include "drag_test_support.h"
#include "file_list.h"
#include "generic_object_list.h"
#include "kivrel_dlg.h"
#include "line_record.h"
#include "object_list_drop_target.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

const CLIPFORMAT kRecordFormat =
    static_cast<CLIPFORMAT>(::RegisterClipboardFormatA("CGenericObjectList"));

class CTestList : public CGenericObjectList {
public:
    IDropTarget* Target() { return m_pDropTarget ? m_pDropTarget->GetInterface() : nullptr; }
    DWORD Identity() const { return ListIdentity(); }
};

std::string Record(DWORD pid, DWORD list, DWORD value, const std::string& text,
                   const std::string& group) {
    const kivrel::LineRecord record =
        kivrel::MakeLineRecord({pid, list, value, text, group}, kivrel::CLeadBytes());
    return std::string(reinterpret_cast<const char*>(&record), sizeof(record));
}

class ObjectListTransfer : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &::DefWindowProcA;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KivrelDragParent";
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        ::RegisterClassA(&windowClass);
        m_hParent =
            ::CreateWindowExA(0, "KivrelDragParent", "lists", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300,
                              300, 460, 260, nullptr, nullptr, windowClass.hInstance, nullptr);
        for (int i = 0; i < 2; ++i) {
            HWND list =
                ::CreateWindowExA(0, "ListBox", "",
                                  WS_CHILD | WS_VISIBLE | WS_BORDER | LBS_NOTIFY | LBS_EXTENDEDSEL |
                                      LBS_NOINTEGRALHEIGHT,
                                  10 + 220 * i, 10, 200, 200, m_hParent,
                                  reinterpret_cast<HMENU>(100 + i), windowClass.hInstance, nullptr);
            ASSERT_TRUE(m_lists[i].SubclassWindow(list));
        }
        ::SetForegroundWindow(m_hParent);
        PumpMessages(20);
    }
    void TearDown() override {
        ::DestroyWindow(m_hParent);
        PumpMessages(10);
    }
    // Fresh lists for the next case.
    void Reset() {
        TearDown();
        SetUp();
    }
    void Fill(CTestList& list, const std::vector<std::string>& texts) {
        for (size_t i = 0; i < texts.size(); ++i) list.AddLine(texts[i].c_str(), DWORD(i + 1));
    }
    std::vector<std::string> Texts(const CTestList& list) {
        std::vector<std::string> texts;
        for (const Line& line : ListLines(list.m_hWnd)) texts.push_back(line.text);
        return texts;
    }
    // Enters with `data`, then drops or leaves; the effect each reported.
    std::pair<DWORD, DWORD> EnterAndDrop(CTestList& list, IDataObject* data, DWORD keys,
                                         DWORD allowed, POINT client, bool drop) {
        ::ClientToScreen(list.m_hWnd, &client);
        const POINTL at{client.x, client.y};
        DWORD entered = allowed;
        list.Target()->DragEnter(data, keys, at, &entered);
        DWORD dropped = DROPEFFECT_NONE;
        if (drop) {
            dropped = allowed;
            list.Target()->Drop(data, keys, at, &dropped);
        } else {
            list.Target()->DragLeave();
        }
        return {entered, dropped};
    }

    HWND m_hParent = nullptr;
    CTestList m_lists[2];
};

TEST_F(ObjectListTransfer, WithoutDragDropFlagNothingIsSetUp) {
    EXPECT_FALSE(m_lists[0].InitTransfer(OLF_REORDER | OLF_SHARE, "g"));
    EXPECT_EQ(m_lists[0].Target(), nullptr);
}

TEST_F(ObjectListTransfer, AcceptsWhatItsFlagsGroupAndProcessAllow) {
    ASSERT_TRUE(m_lists[1].InitTransfer(OLF_DRAGDROP, "Group"));
    const DWORD pid = ::GetCurrentProcessId();
    const DWORD other = m_lists[1].Identity();
    enum Data { kSelf, kOther, kOtherCase, kOtherGroup, kOtherProcess, kForeign, kShortBlock };
    struct Case {
        WORD flags;
        Data data;
        DWORD keys;
        DWORD allowed;
        DWORD effect;
    };
    const DWORD both = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    const Case cases[] = {
        {OLF_DRAGDROP | OLF_REORDER, kSelf, 0, both, DROPEFFECT_MOVE},
        {OLF_DRAGDROP | OLF_REORDER, kSelf, MK_CONTROL, both, DROPEFFECT_COPY},
        // The source allows only a copy: a move becomes one.
        {OLF_DRAGDROP | OLF_REORDER, kSelf, 0, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {OLF_DRAGDROP | OLF_REORDER | OLF_READONLY, kSelf, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_REORDER, kOther, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_SHARE, kOther, 0, both, DROPEFFECT_MOVE},
        {OLF_DRAGDROP | OLF_SHARE, kOtherCase, 0, both, DROPEFFECT_MOVE},
        {OLF_DRAGDROP | OLF_SHARE, kOtherGroup, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_SHARE, kOtherProcess, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_SHARE, kSelf, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_SHARE, kForeign, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_SHARE | OLF_READONLY, kForeign, 0, both, DROPEFFECT_MOVE},
        {OLF_DRAGDROP | OLF_SHARE | OLF_READONLY, kSelf, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_SHARE, kShortBlock, 0, both, DROPEFFECT_NONE},
        // The results list's flags: no drop at all.
        {OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, kOther, 0, both, DROPEFFECT_NONE},
        {OLF_DRAGDROP | OLF_READONLY | OLF_TEXT, kForeign, 0, both, DROPEFFECT_NONE},
    };
    for (const Case& c : cases) {
        CTestList& list = m_lists[0];
        ASSERT_TRUE(list.InitTransfer(c.flags, "group"));
        Fill(list, {"a", "b"});
        const DWORD self = list.Identity();
        CTestDataObject* data = CTestDataObject::Create();
        const std::map<Data, std::string> records = {
            {kSelf, Record(pid, self, 7, "line", "group")},
            {kOther, Record(pid, other, 7, "line", "group")},
            {kOtherCase, Record(pid, other, 7, "line", "GROUP")},
            {kOtherGroup, Record(pid, other, 7, "line", "groups")},
            {kOtherProcess, Record(pid + 4, other, 7, "line", "group")},
            {kShortBlock, std::string(4, '\0')},
        };
        if (c.data == kForeign) {
            data->Offer(CF_TEXT, std::string("text", 5));
        } else {
            data->Offer(kRecordFormat, records.at(c.data));
        }
        const auto effects = EnterAndDrop(list, data, c.keys, c.allowed, LineCentre(list.m_hWnd, 0),
                                          c.effect != DROPEFFECT_NONE);
        EXPECT_EQ(effects.first, c.effect) << "flags " << c.flags << " data " << c.data;
        EXPECT_EQ(effects.second, c.effect) << "flags " << c.flags << " data " << c.data;
        // A read-only list takes the drop and keeps nothing.
        const size_t lines = (c.flags & OLF_READONLY) || c.effect == DROPEFFECT_NONE ? 2 : 3;
        EXPECT_EQ(list.GetCount(), int(lines)) << "flags " << c.flags << " data " << c.data;
        EXPECT_EQ(data->References(), 1) << "flags " << c.flags << " data " << c.data;
        data->Release();
        Reset();
    }
}

TEST_F(ObjectListTransfer, ARecordIsReadOnlyWithinItsBlockAndItsFields) {
    const std::string group(15, 'g');
    ASSERT_TRUE(m_lists[0].InitTransfer(OLF_DRAGDROP | OLF_SHARE, group.c_str()));
    Fill(m_lists[0], {"a"});
    // No terminator in either text: the list takes 127 and 15 bytes of them.
    std::string record = Record(::GetCurrentProcessId(), 1, 0xDEADBEEF, "", "");
    record.replace(12, 128, std::string(128, 'y'));
    record.replace(140, 16, std::string(16, 'g'));
    struct Case {
        std::string bytes;
        DWORD delivered;
        int lines;
    };
    const Case cases[] = {
        {record.substr(0, 155), TYMED_HGLOBAL, 1},
        {record, TYMED_ISTREAM, 1},
        {record, TYMED_HGLOBAL, 2},
    };
    for (const Case& c : cases) {
        CTestDataObject* data = CTestDataObject::Create();
        data->Offer(kRecordFormat, c.bytes, c.delivered);
        EnterAndDrop(m_lists[0], data, 0, DROPEFFECT_MOVE, POINT{5, 150}, true);
        EXPECT_EQ(m_lists[0].GetCount(), c.lines);
        EXPECT_EQ(data->References(), 1);
        data->Release();
    }
    EXPECT_EQ(ListLines(m_lists[0].m_hWnd).back(), (Line{std::string(127, 'y'), 0xDEADBEEF}));
}

struct WaitScript {
    POINT to;
    bool escape;
};
WaitScript g_wait;

void CALLBACK EndWait(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    MoveCursor(g_wait.to);
    if (g_wait.escape) {
        ::PostMessageA(nullptr, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    BYTE state[256];
    ::GetKeyboardState(state);
    state[VK_LBUTTON] = 0;
    ::SetKeyboardState(state);
}

TEST_F(ObjectListTransfer, DragWaitsForTheDistanceOrTheDelayWithTheButtonHeld) {
    HWND list = m_lists[0].m_hWnd;
    POINT centre{100, 100};
    ::ClientToScreen(list, &centre);
    const RECT aroundPress = DragStartRect(centre);
    EXPECT_EQ(aroundPress.right - aroundPress.left, 5);
    // Where the pointer cannot leave the rectangle, only time and keys count.
    const RECT anywhere{-10000, -10000, 10000, 10000};
    struct Case {
        DWORD delay;
        const RECT* start;
        bool move;
        bool escape;
        BOOL dragged;
    };
    // The script releases the button or presses Escape 300 ms after the press.
    const Case cases[] = {
        {1500, &anywhere, false, false, FALSE},
        {1500, &anywhere, false, true, FALSE},
        {100, &anywhere, false, false, TRUE},
        {1500, &aroundPress, true, false, TRUE},
    };
    for (const Case& c : cases) {
        ::WriteProfileStringA("windows", "DragDelay", std::to_string(c.delay).c_str());
        MoveCursor(centre);
        BYTE keys[256];
        ::GetKeyboardState(keys);
        keys[VK_LBUTTON] = 0x80;
        ::SetKeyboardState(keys);
        g_wait = WaitScript{c.move ? POINT{centre.x + 3, centre.y} : centre, c.escape};
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 300, &EndWait);
        EXPECT_EQ(WaitForDragStart(list, *c.start, MK_LBUTTON), c.dragged) << c.delay << c.move;
        ::KillTimer(nullptr, timer);
        keys[VK_LBUTTON] = 0;
        ::SetKeyboardState(keys);
        PumpMessages(350);
    }
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
    ::WriteProfileStringA("windows", "DragMinDist", nullptr);
}

TEST_F(ObjectListTransfer, AMoveWithinTheListDeletesTheDraggedLineAndACopyKeepsIt) {
    struct Case {
        int from;
        int to;  // the line whose upper half takes the drop; -1: below the last
        bool ctrl;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {2, 0, false, {"C", "A", "B", "D"}},
        {0, -1, false, {"B", "C", "D", "A"}},
        {1, 3, false, {"A", "C", "B", "D"}},
        {1, -1, true, {"A", "B", "C", "D", "B"}},
    };
    for (const Case& c : cases) {
        CTestList& list = m_lists[0];
        ASSERT_TRUE(list.InitTransfer(OLF_DRAGDROP | OLF_REORDER, "g"));
        Fill(list, {"A", "B", "C", "D"});
        list.SetSel(c.from, TRUE);
        POINT to{20, 190};
        if (c.to >= 0) {
            RECT line;
            list.GetItemRect(c.to, &line);
            to = POINT{20, line.top + 1};
        }
        ::ClientToScreen(list.m_hWnd, &to);
        DragWithMouse(list.m_hWnd, LineCentre(list.m_hWnd, c.from), to, c.ctrl);
        EXPECT_EQ(Texts(list), c.after) << c.from << " to " << c.to;
        Reset();
    }
}

// The results list of the main dialog after a scan of the fixture program.
class ResultsDrag : public testing::Test {
protected:
    void SetUp() override {
        AfxGetApp()->m_strCmdLine = FixtureProgram();
        DeleteRegistryTree(kTestSectionPath);
    }
    void TearDown() override { AfxGetApp()->m_strCmdLine.clear(); }
    void Run(const std::function<void(HWND list)>& body) {
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
        struct Case {
            std::vector<int> selected;
            int caret;  // also where the press lands
            std::vector<std::string> files;
            std::string recordText;
        };
        const int first = found[0];
        const int last = found.back();
        const Case cases[] = {
            {{last, heading, first}, last, {lines[first].text, lines[last].text}, lines[last].text},
            // The caret line is not selected: the record takes the first selected line.
            {{heading, int(lines.size()) - 1}, heading, {}, lines[heading].text},
        };
        for (const Case& c : cases) {
            ::SendMessageA(list, LB_SETSEL, FALSE, -1);
            for (int line : c.selected) ::SendMessageA(list, LB_SETSEL, TRUE, line);
            ::SendMessageA(list, LB_SETCARETINDEX, c.caret, FALSE);
            CRecordingWindow target(RECT{0, 0, 200, 150}, DROPEFFECT_MOVE);
            DragWithMouse(list, LineCentre(list, c.caret), target.Centre());
            const DropRecord& got = target.m_record;
            ASSERT_EQ(got.drops, 1);
            EXPECT_EQ(got.allowedAtDrop, DWORD(DROPEFFECT_COPY));
            const auto files = got.data.find(CF_HDROP);
            if (c.files.empty()) {
                EXPECT_EQ(files, got.data.end());
            } else {
                ASSERT_NE(files, got.data.end());
                const auto expected = kivrel::BuildFileList(c.files);
                EXPECT_EQ(files->second, std::string(expected.begin(), expected.end()));
            }
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
    // Only the release decides, however slowly the test runs and wherever
    // the display puts the pointer.
    ::WriteProfileStringA("windows", "DragDelay", "5000");
    ::WriteProfileStringA("windows", "DragMinDist", "2000");
    Run([&](HWND list) {
        ::SendMessageA(list, LB_SETSEL, TRUE, 0);
        ::SendMessageA(list, LB_SETSEL, TRUE, 1);
        PressWithMouse(list, LineCentre(list, 1), 60);
        EXPECT_EQ(::SendMessageA(list, LB_GETSELCOUNT, 0, 0), 1);
        EXPECT_GT(::SendMessageA(list, LB_GETSEL, 1, 0), 0);
    });
    ::WriteProfileStringA("windows", "DragDelay", nullptr);
    ::WriteProfileStringA("windows", "DragMinDist", nullptr);
}

}  // namespace
}  // namespace kivrel_test
