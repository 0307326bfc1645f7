#pragma once
#include "WindowPlacement.h"

#include <windows.h>

#include <algorithm>
#include <vector>

// The open windows of one kind, for windows that are one of a kind (the
// journal, the diagnostics: Open brings the open one forward) and for those
// that come in numbers (contact editors: closed together when the program
// ends). A window class T derives from TOpenWindows<T> beside its window base:
//
//     class TDiagnosticsForm final : public TDialogBase, public TOpenWindows<TDiagnosticsForm>
//
// An object counts from its construction to its destruction, but Current and
// CloseAll see only those whose window exists, so an object whose window is
// being made or is already gone is never handed out. User-interface thread only.
template <class T>
class TOpenWindows {
public:
    // The first of the open windows of this kind, or null.
    static T* Current() {
        for (TOpenWindows* object : Objects())
            if (static_cast<T*>(object)->Handle()) return static_cast<T*>(object);
        return nullptr;
    }

    // The open window of this kind brought forward (restored when minimised,
    // a box open over it first), or null when none is open: "show it, or make
    // it" in one place for every window that is one of a kind.
    static T* BringForward() {
        T* open = Current();
        if (open) BringWindowForward(open->Handle());
        return open;
    }

    // Destroys every open window of this kind (the program is ending); an
    // object deleted with its window goes with it.
    static void CloseAll() {
        // Handles, not objects: each object may be gone once its window is.
        std::vector<HWND> handles;
        for (TOpenWindows* object : Objects())
            if (const HWND handle = static_cast<T*>(object)->Handle()) handles.push_back(handle);
        for (HWND handle : handles)
            if (::IsWindow(handle)) ::DestroyWindow(handle);
    }

    TOpenWindows(const TOpenWindows&) = delete;
    TOpenWindows& operator=(const TOpenWindows&) = delete;

protected:
    TOpenWindows() { Objects().push_back(this); }
    ~TOpenWindows() {
        auto& objects = Objects();
        objects.erase(std::remove(objects.begin(), objects.end(), this), objects.end());
    }

private:
    // In the order they were made.
    static std::vector<TOpenWindows*>& Objects() {
        static std::vector<TOpenWindows*> objects;
        return objects;
    }
};
