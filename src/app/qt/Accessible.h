#pragma once

#include <QHash>
#include <QLabel>

namespace zelvoset {

// A bold label that heads the form or its panel. A class of its own, so that assistive
// technology is told it is a heading, which a QLabel cannot say.
class HeadingLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;
};

// Tells assistive technology what the form's description says beyond the captions: the window
// is a frame named by its caption, each option is explained by the label beside it, the panel
// is named by its heading, and an empty label is left out. `controls` holds every control of the
// form by its name.
void DescribeForAssistiveTechnology(QWidget& window, const QHash<QString, QWidget*>& controls);

} // namespace zelvoset
