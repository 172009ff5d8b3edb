// The layout on resize: the URL column takes the width the other three columns leave; they keep
// their widths and stay flush with the right edge. Heights and tops never change.

#include "monitor/Unit1.h"

namespace pw::monitor {

void TForm1::FormResize() {
    // Row 1 is the reference for every row; its URL width is set first, so all rows agree.
    framework::IEdit& url1 = UrlField(1);
    framework::IComboBox& logic1 = LogicSelector(1);
    framework::IEdit& search1 = SearchField(1);
    framework::IButton& open1 = OpenButton(1);
    for (int k = 1; k <= kRowCount; ++k) {
        const int width = form_->ClientWidth();
        UrlField(k).SetWidth(width - logic1.Width() - search1.Width() - open1.Width() - 16);
        const int urlRight = url1.Left() + url1.Width();
        LogicSelector(k).SetLeft(urlRight + 4);
        SearchField(k).SetLeft(urlRight + logic1.Width() + 5);
        OpenButton(k).SetLeft(urlRight + logic1.Width() + search1.Width() + 7);
    }
    Label5.SetLeft(logic1.Left());
    Label6.SetLeft(search1.Left());
    Label4.SetWidth(url1.Width());
    // The status note spans the button bar, which the docking widens with the window.
    statusnote.SetWidth(form_->ClientWidth() - 2 * statusnote.Left());
}

}  // namespace pw::monitor
