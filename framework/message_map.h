// Static message maps. Each entry names a message (and, for WM_COMMAND, a
// notification code and command id) and a thunk that unpacks the parameters
// and calls the handler. The thunks are generated per handler from its member
// pointer, so no function pointer is ever cast to another type.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "types.h"

class CWnd;
class CCmdUI;

// The notification code of command-update entries: a menu item asks whether
// it is enabled and checked. No control sends it (theirs are 16 bits).
constexpr UINT CN_UPDATE_COMMAND_UI = 0xFFFFFFFFu;

using MessageThunk = LRESULT (*)(CWnd& wnd, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
    UINT nMessage;  // 0 ends the table
    UINT nCode;     // WM_COMMAND only: notification code, 0 for menus and clicks
    UINT nID;       // WM_COMMAND only: command id
    MessageThunk pfn;
};

struct MessageMap {
    const MessageMap* (*pfnGetBaseMap)();
    const MessageMapEntry* lpEntries;
};

namespace msgmap {

template <class T>
struct ClassOf;
template <class C, class F>
struct ClassOf<F C::*> {
    using type = C;
};

// The object as the class that declares the handler.
template <auto Fn>
typename ClassOf<decltype(Fn)>::type& Self(CWnd& wnd) {
    return static_cast<typename ClassOf<decltype(Fn)>::type&>(wnd);
}

template <auto Fn>
LRESULT NoArgs(CWnd& wnd, WPARAM, LPARAM) {
    (Self<Fn>(wnd).*Fn)();
    return 0;
}

template <auto Fn>
LRESULT ReturnsHandle(CWnd& wnd, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((Self<Fn>(wnd).*Fn)());
}

template <auto Fn>
LRESULT Size(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
}

template <auto Fn>
LRESULT MinMaxInfo(CWnd& wnd, WPARAM, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(reinterpret_cast<MINMAXINFO*>(lParam));
    return 0;
}

template <auto Fn>
LRESULT SettingChange(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(static_cast<UINT>(wParam), reinterpret_cast<LPCSTR>(lParam));
    return 0;
}

template <auto Fn>
LRESULT SysCommand(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(static_cast<UINT>(wParam), lParam);
    return 0;
}

template <auto Fn>
LRESULT Mouse(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(static_cast<UINT>(wParam), CPoint(lParam));
    return 0;
}

template <auto Fn>
LRESULT Create(CWnd& wnd, WPARAM, LPARAM lParam) {
    return (Self<Fn>(wnd).*Fn)(reinterpret_cast<CREATESTRUCTA*>(lParam));
}

template <auto Fn>
LRESULT Timer(CWnd& wnd, WPARAM wParam, LPARAM) {
    (Self<Fn>(wnd).*Fn)(static_cast<UINT_PTR>(wParam));
    return 0;
}

template <auto Fn>
LRESULT KeyDown(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
}

template <auto Fn>
LRESULT ActivateApp(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(static_cast<BOOL>(wParam), static_cast<DWORD>(lParam));
    return 0;
}

template <auto Fn>
LRESULT HitTest(CWnd& wnd, WPARAM, LPARAM lParam) {
    return static_cast<LRESULT>((Self<Fn>(wnd).*Fn)(CPoint(lParam)));
}

template <auto Fn>
LRESULT DropFiles(CWnd& wnd, WPARAM wParam, LPARAM) {
    (Self<Fn>(wnd).*Fn)(reinterpret_cast<HDROP>(wParam));
    return 0;
}

template <auto Fn>
LRESULT SetCursor(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    return (Self<Fn>(wnd).*Fn)(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
}

// wParam: the window clicked; lParam: the screen point, (-1, -1) from the keyboard.
template <auto Fn>
LRESULT ContextMenu(CWnd& wnd, WPARAM wParam, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(reinterpret_cast<HWND>(wParam), CPoint(lParam));
    return 0;
}

// lParam: the message the dialog manager asks about, or null.
template <auto Fn>
LRESULT GetDlgCode(CWnd& wnd, WPARAM, LPARAM lParam) {
    return static_cast<LRESULT>((Self<Fn>(wnd).*Fn)(reinterpret_cast<const MSG*>(lParam)));
}

// lParam carries the item being updated.
template <auto Fn>
LRESULT UpdateCommandUI(CWnd& wnd, WPARAM, LPARAM lParam) {
    (Self<Fn>(wnd).*Fn)(reinterpret_cast<CCmdUI*>(lParam));
    return 0;
}

}  // namespace msgmap

// clang-format off
#define DECLARE_MESSAGE_MAP()                                                          \
protected:                                                                             \
    static const MessageMap* GetThisMessageMap();                                      \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }  \
    const MessageMap* theClass::GetThisMessageMap() {                                  \
        using ThisClass [[maybe_unused]] = theClass;                                   \
        using TheBaseClass = baseClass;                                                \
        static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                              \
            {0, 0, 0, nullptr}};                                                       \
        static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries};     \
        return &map;                                                                   \
    }
// clang-format on

#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), &msgmap::NoArgs<&ThisClass::memberFxn>},
#define ON_UPDATE_COMMAND_UI(id, memberFxn)                   \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, static_cast<UINT>(id), \
     &msgmap::UpdateCommandUI<&ThisClass::memberFxn>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &msgmap::NoArgs<&ThisClass::OnPaint>},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, &msgmap::NoArgs<&ThisClass::OnDestroy>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, &msgmap::ReturnsHandle<&ThisClass::OnQueryDragIcon>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, &msgmap::Size<&ThisClass::OnSize>},
#define ON_WM_GETMINMAXINFO() \
    {WM_GETMINMAXINFO, 0, 0, &msgmap::MinMaxInfo<&ThisClass::OnGetMinMaxInfo>},
#define ON_WM_SETTINGCHANGE() \
    {WM_SETTINGCHANGE, 0, 0, &msgmap::SettingChange<&ThisClass::OnSettingChange>},
#define ON_WM_NCHITTEST() {WM_NCHITTEST, 0, 0, &msgmap::HitTest<&ThisClass::OnNcHitTest>},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &msgmap::SysCommand<&ThisClass::OnSysCommand>},
#define ON_WM_LBUTTONDOWN() {WM_LBUTTONDOWN, 0, 0, &msgmap::Mouse<&ThisClass::OnLButtonDown>},
#define ON_WM_RBUTTONDOWN() {WM_RBUTTONDOWN, 0, 0, &msgmap::Mouse<&ThisClass::OnRButtonDown>},
#define ON_WM_CREATE() {WM_CREATE, 0, 0, &msgmap::Create<&ThisClass::OnCreate>},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, &msgmap::Timer<&ThisClass::OnTimer>},
#define ON_WM_ACTIVATEAPP() {WM_ACTIVATEAPP, 0, 0, &msgmap::ActivateApp<&ThisClass::OnActivateApp>},
#define ON_WM_DROPFILES() {WM_DROPFILES, 0, 0, &msgmap::DropFiles<&ThisClass::OnDropFiles>},
#define ON_WM_KEYDOWN() {WM_KEYDOWN, 0, 0, &msgmap::KeyDown<&ThisClass::OnKeyDown>},
#define ON_WM_CHAR() {WM_CHAR, 0, 0, &msgmap::KeyDown<&ThisClass::OnChar>},
#define ON_WM_CONTEXTMENU() {WM_CONTEXTMENU, 0, 0, &msgmap::ContextMenu<&ThisClass::OnContextMenu>},
#define ON_WM_GETDLGCODE() {WM_GETDLGCODE, 0, 0, &msgmap::GetDlgCode<&ThisClass::OnGetDlgCode>},
#define ON_WM_SETCURSOR() {WM_SETCURSOR, 0, 0, &msgmap::SetCursor<&ThisClass::OnSetCursor>},
