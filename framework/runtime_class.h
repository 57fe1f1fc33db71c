// Run-time class records: a class name and its base, enough to ask an object
// what it is (IsKindOf). No dynamic creation.
#pragma once

#include <windows.h>

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;

    bool IsDerivedFrom(const CRuntimeClass* pBase) const {
        for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass) {
            if (p == pBase) return true;
        }
        return false;
    }
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
    BOOL IsKindOf(const CRuntimeClass* pClass) const {
        return GetRuntimeClass()->IsDerivedFrom(pClass) ? TRUE : FALSE;
    }

    static const CRuntimeClass classCObject;
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)

#define DECLARE_DYNAMIC(theClass)               \
public:                                         \
    static const CRuntimeClass class##theClass; \
    const CRuntimeClass* GetRuntimeClass() const override { return &class##theClass; }

#define IMPLEMENT_DYNAMIC(theClass, baseClass) \
    const CRuntimeClass theClass::class##theClass = {#theClass, RUNTIME_CLASS(baseClass)};
