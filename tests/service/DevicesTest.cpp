#include <gtest/gtest.h>

#include <cstring>

#include "service/AudioService.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

class DevicesTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};

  AudioObjectID add(std::string uid, std::uint32_t in, std::uint32_t out,
                    std::uint32_t transportType = transport::usb) {
    return platform.hal.addDevice({.uid = uid,
                                   .name = "Name " + uid,
                                   .transport = transportType,
                                   .inputStreams = in,
                                   .outputStreams = out});
  }
  std::vector<std::string> visibleUIDs(const AudioService& service) {
    std::vector<std::string> uids;
    for (const auto& d : service.state().devices)
      uids.push_back(d.uid);
    return uids;
  }
};

TEST_F(DevicesTest, ListsOnlyVisibleDevicesInHardwareOrder) {
  AudioObjectID speakers = add("speakers", 0, 1, transport::builtIn);
  add("", 1, 1);                           // no UID
  add("com.tavuno.aggregate.1234", 1, 1);  // our own aggregate
  add("silent", 0, 0);                     // no streams
  AudioObjectID mic = add("mic", 1, 0);
  add("hidden-by-predicate", 1, 1);
  AudioObjectID unreadable = add("unreadable", 1, 1);
  platform.hal.injectFault({.object = unreadable, .selector = selector::deviceUID});
  platform.hal.setDefaultOutput(speakers);
  platform.hal.setDefaultInput(unreadable);

  auto service =
      platform.makeService({.startTimer = false, .deviceVisible = [](const AudioDevice& d) {
                              return d.uid != "hidden-by-predicate";
                            }});
  EXPECT_EQ(visibleUIDs(*service), (std::vector<std::string>{"speakers", "mic"}));
  const auto& first = service->state().devices[0];
  EXPECT_EQ(first, (AudioDevice{speakers, "speakers", "Name speakers", false, true, true,
                                transport::builtIn}));
  EXPECT_EQ(service->state().devices[1].id, mic);
  EXPECT_EQ(service->state().defaultOutput, speakers);
  EXPECT_EQ(service->state().defaultInput, unreadable) << "defaults are published as read";
}

TEST_F(DevicesTest, FailedReadsDegradeToEmptyValues) {
  AudioObjectID usb = add("usb", 1, 1);
  platform.hal.setDefaultOutput(usb);
  platform.hal.injectFault({.object = usb, .selector = selector::transportType});
  platform.hal.injectFault({.object = usb, .selector = selector::name});
  platform.hal.injectFault({.object = usb, .scope = scope::input});
  platform.hal.injectFault(
      {.object = kAudioObjectSystemObject, .selector = selector::defaultOutputDevice});
  auto service = platform.makeService({.startTimer = false});
  ASSERT_EQ(service->state().devices.size(), 1u);
  EXPECT_EQ(service->state().devices[0], (AudioDevice{usb, "usb", "", false, true, false, 0}));
  EXPECT_EQ(service->state().defaultOutput, 0u);

  platform.hal.injectFault({.object = kAudioObjectSystemObject, .selector = selector::devices});
  service->refresh();
  EXPECT_TRUE(service->state().devices.empty());
}

TEST_F(DevicesTest, SetDefaultWritesRefreshesAndReportsFailures) {
  AudioObjectID a = add("a", 1, 1), b = add("b", 1, 1);
  platform.hal.setDefaultOutput(a);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_TRUE(service->setDefault(b, false));
  EXPECT_EQ(service->state().defaultOutput, b) << "refreshed right after the write";
  EXPECT_FALSE(service->state().error);

  platform.hal.injectFault({.operation = SimHal::Operation::set,
                            .selector = selector::defaultInputDevice,
                            .status = -10851});
  EXPECT_FALSE(service->setDefault(a, true));
  EXPECT_EQ(service->state().error, "Could not change the device (error -10851).");
  EXPECT_EQ(ServiceProbe::automationErrorKey(*service),
            "Não foi possível alterar o dispositivo (erro %d).");
  EXPECT_EQ(ServiceProbe::automationErrorCode(*service), -10851);
}

TEST_F(DevicesTest, ProcessOutputDevicesChecksSizes) {
  auto service = platform.makeService({.startTimer = false});
  AudioObjectID out = add("out", 0, 1);
  AudioObjectID process = platform.hal.addProcess({.pid = 42, .outputDevices = {out, 7}});
  EXPECT_EQ(ServiceProbe::processOutputDevices(*service, process),
            (std::vector<AudioObjectID>{out, 7}));

  const PropertyAddress devices{selector::processDevices, scope::output, 0};
  platform.hal.defineProperty(process, devices, {});
  EXPECT_EQ(ServiceProbe::processOutputDevices(*service, process), std::vector<AudioObjectID>{})
      << "size 0: streams on no device yet";
  platform.hal.defineProperty(process, devices, {1, 2, 3, 4, 5, 6});
  EXPECT_FALSE(ServiceProbe::processOutputDevices(*service, process))
      << "not a whole number of ids";
  platform.hal.setProcessDevices(process, {out});
  platform.hal.injectFault({.operation = SimHal::Operation::get, .object = process});
  EXPECT_FALSE(ServiceProbe::processOutputDevices(*service, process)) << "failed read";
  EXPECT_FALSE(ServiceProbe::processOutputDevices(*service, 999)) << "unknown process";
}

}  // namespace
}  // namespace tavuno
