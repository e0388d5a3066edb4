// Stand-in until the runtime lands: just enough for tests to link.
#include "Application.h"

#include "Baton.h"

namespace fw {
namespace {
std::string gResources;
Application* gApp = nullptr;
}  // namespace
Application::Application() {}
Application::~Application() {}
Application* CurrentApplication() { return gApp; }
void RegisterApplication(Application* app) { gApp = app; }
std::string ResourcesFolder() { return gResources; }
void SetResourcesFolder(const std::string& p) { gResources = p; }
void InitRuntime(int&, char**) { baton::Acquire(); }
}  // namespace fw
