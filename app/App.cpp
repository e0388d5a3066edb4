#include "app/App.h"

#include "framework/Localization.h"

App::App() = default;

#define TVM_DEFINE_CONSTANT(name, text)                                     \
    std::string App::name(const std::string& language) {                    \
        return fw::GetLocalizedString("App." #name, text, language);        \
    }
TVM_APP_CONSTANTS(TVM_DEFINE_CONSTANT)
#undef TVM_DEFINE_CONSTANT

App& app() {
    auto* a = dynamic_cast<App*>(fw::CurrentApplication());
    if (!a) throw fw::NilObjectException();
    return *a;
}
