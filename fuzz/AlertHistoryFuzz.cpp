// Any bytes as an alert history file: decoding either gives a reason or alerts that, written back
// in either form, read back the same.

#include "Services/AlertHistory.h"

#include "FuzzCheck.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<MonitorAlert> alerts;
    try {
        alerts = AlertHistory::decode(std::string_view(reinterpret_cast<const char *>(data), size));
    } catch (const AlertHistoryError &e) {
        require(e.what()[0] != '\0', "a rejection says why");
        return 0;
    }
    for (const std::string &written : {AlertHistory::encode(alerts), AlertHistory::encodeSorted(alerts)}) {
        std::vector<MonitorAlert> back;
        try {
            back = AlertHistory::decode(written);
        } catch (const AlertHistoryError &) {
            require(false, "what is written reads back");
        }
        require(back == alerts, "what is written reads back the same");
    }
    return 0;
}
