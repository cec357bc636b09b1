// What Explorer's Properties show for each Windows program.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support.h"

namespace {

TEST(VersionTest, EachProgramCarriesProductAndReleaseVersion) {
  for (std::string name : {"QVRPt2Installer_mod", "Reinstall_QVRPt1"}) {
    SCOPED_TRACE(name);
    std::string exe = HereDir() + "\\" + name + ".exe";
    DWORD unused = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &unused);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
    const std::string fields[][2] = {{"ProductName", "QVR part switcher"},
                                     {"ProductVersion", QVR_VERSION},
                                     {"FileVersion", QVR_VERSION},
                                     {"OriginalFilename", name + ".exe"}};
    for (const auto& [key, want] : fields) {
      void* value = nullptr;
      UINT length = 0;
      std::string path = "\\StringFileInfo\\040904B0\\" + key;
      ASSERT_TRUE(VerQueryValueA(info.data(), path.c_str(), &value, &length)) << key;
      EXPECT_EQ(std::string(static_cast<const char*>(value)), want) << key;
    }
  }
}

}  // namespace
#endif
