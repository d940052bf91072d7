#include "Accessible.h"

#include "Text.h"

#include <objbase.h>
#include <oleacc.h>

namespace zelvoset {

std::vector<Annotation> AnnotationsFor(const form::Control& control, HWND window) {
    std::vector<Annotation> annotations;
    if (const std::string_view name = form::AccessibleName(control); !name.empty())
        annotations.push_back({window, &PROPID_ACC_NAME, win32::WidenForDisplay(name)});
    if (const std::string_view description = form::AccessibleDescription(control);
        !description.empty())
        annotations.push_back(
            {window, &PROPID_ACC_DESCRIPTION, win32::WidenForDisplay(description)});
    // A window of a class of our own is a plain client area to MSAA; the panel groups its
    // controls, and a screen reader says a grouping's name as the focus moves into it.
    if (control.kind == form::Kind::Frame)
        annotations.push_back({window, &PROPID_ACC_ROLE, L"", ROLE_SYSTEM_GROUPING});
    return annotations;
}

HRESULT Annotate(const std::vector<Annotation>& annotations) {
    // The thread stays in its apartment: the Open dialog wants one too, and the annotations
    // must outlive this call.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(apartment) && apartment != RPC_E_CHANGED_MODE)
        return apartment;
    IAccPropServices* services = nullptr;
    HRESULT result = CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IAccPropServices, reinterpret_cast<void**>(&services));
    for (const Annotation& annotation : annotations) {
        if (FAILED(result))
            break;
        if (annotation.text.empty()) {
            VARIANT role{};
            role.vt = VT_I4;
            role.lVal = annotation.role;
            result = services->SetHwndProp(annotation.window, static_cast<DWORD>(OBJID_CLIENT),
                                           CHILDID_SELF, *annotation.property, role);
        } else {
            result = services->SetHwndPropStr(annotation.window, static_cast<DWORD>(OBJID_CLIENT),
                                              CHILDID_SELF, *annotation.property,
                                              annotation.text.c_str());
        }
    }
    if (services)
        services->Release();
    return result;
}

} // namespace zelvoset
