// The start's version check on a thread of its own: its two requests may each
// wait a second for a silent server or name server, and the start must not wait
// for them. Once the answer is in, it is handed over on the main thread.
#pragma once
#include <functional>
#include <string>

#include "framework/Ref.h"
#include "framework/Timer.h"

class CVersionCheck : public fw::Timer {
public:
    // Starts a check (counter, version file, its last line) and returns at once.
    // `offer` runs later on the main thread with the offered version text, ""
    // when none was had. A check started while another runs replaces its offer.
    static void Start(std::function<void(const std::string&)> offer);

protected:
    void Event_Action() override;

private:
    friend struct CVersionCheckProbe;  // the tests' view of the check under way
    static fw::Ref<CVersionCheck>& Current();
    class Request;
    std::function<void(const std::string&)> offer_;
    std::string sOffered;
    bool bOffered = false;
};
