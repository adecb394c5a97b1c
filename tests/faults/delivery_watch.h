// Watches every delivery the main window handles and what it does to the displays.
#pragma once

#include "serial/comm.h"
#include "tests/faults/display_check.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {
class TForm1;
}

namespace velmora::test {

// Puts itself in front of the window's receive handler for its lifetime:
// each delivery still goes to the window, and the displays before and after
// are checked with DisplayFault. Faults are kept (the first few in full).
class DeliveryWatch {
public:
    explicit DeliveryWatch(TForm1& form);
    ~DeliveryWatch();
    DeliveryWatch(const DeliveryWatch&) = delete;
    DeliveryWatch& operator=(const DeliveryWatch&) = delete;

    int64_t deliveries() const { return deliveries_; }
    int64_t bytes() const { return bytes_; }
    // Deliveries after which the displays showed something else than before.
    int64_t readingsShown() const { return readingsShown_; }
    int64_t faultCount() const { return faultCount_; }
    const std::vector<std::string>& faults() const { return faults_; }

private:
    TForm1& form_;
    TReceiveDataEvent original_;
    int64_t deliveries_ = 0;
    int64_t bytes_ = 0;
    int64_t readingsShown_ = 0;
    int64_t faultCount_ = 0;
    std::vector<std::string> faults_;
};

} // namespace velmora::test
