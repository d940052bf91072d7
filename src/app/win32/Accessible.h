#pragma once

#include "Form.h"

#include <windows.h>

#include <string>
#include <vector>

namespace zelvoset {

// One property given to a control for assistive technology by dynamic annotation, where its
// standard control has no way to say it: the label beside a button is linked to nothing.
struct Annotation {
    HWND window;
    const GUID* property; // PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION or PROPID_ACC_ROLE
    std::wstring text;    // for a name or a description
    long role = 0;        // for a role
};

// What the form's description says of `control`, drawn as `window`, beyond its class and caption.
std::vector<Annotation> AnnotationsFor(const form::Control& control, HWND window);

// Hands the annotations to the system's accessibility services. S_OK when all were taken; after
// a failure the rest are not tried, and the controls stay as their standard classes tell them.
HRESULT Annotate(const std::vector<Annotation>& annotations);

} // namespace zelvoset
