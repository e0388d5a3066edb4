#include "update/CVersionCheck.h"

#include "framework/Ref.h"
#include "framework/Thread.h"
#include "update/mdlOrder.h"

// Never destroyed: the check may still run when the program ends.
fw::Ref<CVersionCheck>& CVersionCheck::Current() {
    static auto* current = new fw::Ref<CVersionCheck>();
    return *current;
}

// Runs the requests; the check it reports to stays alive until it has.
class CVersionCheck::Request : public fw::Thread {
public:
    explicit Request(fw::Ref<CVersionCheck> check) : check_(std::move(check)) {}

protected:
    void Event_Run() override {
        mdlOrder::GetVersionInfoFromBK();
        check_->sOffered = mdlOrder::GetVersionInfo();
        // Threads never touch windows: the offer waits for the main thread.
        check_->SetPeriod(1);
        check_->SetMode(fw::Timer::ModeSingle);
    }

private:
    fw::Ref<CVersionCheck> check_;
};

void CVersionCheck::Start(std::function<void(const std::string&)> offer) {
    auto check = fw::New<CVersionCheck>();
    check->offer_ = std::move(offer);
    if (Current()) Current()->offer_ = nullptr;
    Current() = check;
    fw::New<Request>(check)->Run();
}

void CVersionCheck::Event_Action() {
    bOffered = true;
    if (offer_) offer_(sOffered);
}
