// Watches every delivery the main window handles and what it does to the displays.
#include "tests/faults/delivery_watch.h"

#include "app/main_window.h"
#include "lcd/lcd_matrix.h"

#include <string_view>

namespace velmora::test {

namespace {

DisplayTexts Shown(TForm1& form) {
    return {form.iLCDMatrix1->Text(), form.iLCDMatrix2->Text()};
}

} // namespace

DeliveryWatch::DeliveryWatch(TForm1& form)
    : form_(form)
    , original_(form.Comm1->OnReceiveData) {
    form_.Comm1->OnReceiveData = [this](TComm* sender, const char* buffer, uint16_t length) {
        const DisplayTexts before = Shown(form_);
        // The handler may rely on the zero byte after the chunk, so it gets the block itself.
        original_(sender, buffer, length);
        const DisplayTexts after = Shown(form_);
        ++deliveries_;
        bytes_ += length;
        const std::string fault = DisplayFault(std::string_view(buffer, length), before, after);
        if (!fault.empty()) {
            ++faultCount_;
            if (faults_.size() < 10) {
                faults_.push_back(fault);
            }
        } else if (after != before) {
            ++readingsShown_;
        }
    };
}

DeliveryWatch::~DeliveryWatch() {
    form_.Comm1->OnReceiveData = original_;
}

} // namespace velmora::test
