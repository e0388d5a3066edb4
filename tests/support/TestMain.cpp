#include <gtest/gtest.h>

#include "TestPaths.h"
#include "framework/Application.h"
#include "framework/Localization.h"
#include "framework/Shell.h"

int main(int argc, char** argv) {
    fw::InitRuntime(argc, argv);
    fw::SetResourcesFolder(TVM_RESOURCES_DIR);
    fw::SetLocalizationFolder(TVM_RESOURCES_DIR);
    fw::SetToolsFolder(TVM_HELPERS_DIR);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
