#pragma once
#include <QProxyStyle>

namespace mirvo {

// The application's style: tooltips appear 200 ms after the pointer rests.
class MirvoStyle final : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) {
            return 200;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// How long a tooltip stays up.
inline constexpr int kToolTipDurationMs = 60000;

}  // namespace mirvo
