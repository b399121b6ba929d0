// The capability probe: texture shapes the device accepts and, per format,
// the three usage checks against the display mode's format.
#include "engine/engine_messages.h"
#include "engine_test_support.h"
#include "support/user_texts.h"

namespace engine_test {
namespace {

class CapabilityProbeTest : public EngineTest {
 protected:
  // An engine holding a device and the Direct3D object, as after step 5 of
  // the device setup.
  void CreateDevice(const fakes::DeviceConfig& config) {
    subject->d3d = d3d;
    d3d->next_device = fakes::MakeFake<fakes::FakeDevice>(config);
    D3DPRESENT_PARAMETERS parameters = DevicePresentParameters();
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, HostWindow(), 0x826, &parameters,
                                        subject->device.put()));
  }
};

TEST_F(CapabilityProbeTest, EveryFormatIsCheckedForThreeUsagesWithTheDisplayFormat) {
  fakes::DeviceConfig config;
  config.caps.AdapterOrdinal = 1;
  config.caps.DeviceType = D3DDEVTYPE_REF;
  config.display_mode.Format = static_cast<D3DFORMAT>(21);  // A8R8G8B8
  d3d->adapter_count = 2;
  CreateDevice(config);

  EXPECT_EQ(D3D_OK, subject->ProbeCapabilities());
  const D3DFORMAT order[] = {D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16,
                             D3DFMT_Q16W16V16U16, D3DFMT_A2B10G10R10};
  const DWORD usages[] = {D3DUSAGE_RENDERTARGET, D3DUSAGE_DYNAMIC, 0};
  const auto& calls = d3d->check_format_calls();
  ASSERT_EQ(15u, calls.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "check " << i);
    EXPECT_EQ(1u, calls[i].adapter);
    EXPECT_EQ(D3DDEVTYPE_REF, calls[i].device_type);
    EXPECT_EQ(static_cast<D3DFORMAT>(21), calls[i].adapter_format);
    EXPECT_EQ(D3DRTYPE_TEXTURE, calls[i].resource_type);
    EXPECT_EQ(order[i / 3], calls[i].check_format);
    EXPECT_EQ(usages[i % 3], calls[i].usage);
  }
  for (int format = 0; format < kProbedFormatCount; ++format) {
    SCOPED_TRACE(testing::Message() << "format " << format);
    EXPECT_TRUE(subject->format_supported[format]);
  }
  EXPECT_EQ(config.caps.MaxTextureWidth, subject->caps.MaxTextureWidth);
  EXPECT_EQ(config.caps.NumSimultaneousRTs, subject->caps.NumSimultaneousRTs);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CapabilityProbeTest, FirstFailingUsageDecidesAndSkipsTheRest) {
  struct Case {
    DWORD failing_usage;
    size_t checks_of_format;
  } cases[] = {{D3DUSAGE_RENDERTARGET, 1}, {D3DUSAGE_DYNAMIC, 2}, {0, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "usage " << c.failing_usage);
    auto local_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    local_d3d->SupportTextureFormat(D3DFMT_A32B32G32R32F);
    local_d3d->SupportTextureFormat(D3DFMT_Q16W16V16U16);
    local_d3d->format_results[{D3DFMT_Q16W16V16U16, c.failing_usage}] = D3DERR_NOTAVAILABLE;
    std::unique_ptr<Engine> local(new Engine);
    local->description = &description;
    local->d3d = local_d3d;
    local_d3d->next_device = fakes::MakeFake<fakes::FakeDevice>();
    D3DPRESENT_PARAMETERS parameters = DevicePresentParameters();
    ASSERT_EQ(D3D_OK, local_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x826, &parameters,
                                              local->device.put()));

    EXPECT_EQ(D3D_OK, local->ProbeCapabilities());
    EXPECT_FALSE(local->format_supported[S16]);
    EXPECT_TRUE(local->format_supported[F32]);
    size_t q16_checks = 0;
    for (const auto& call : local_d3d->check_format_calls())
      if (call.check_format == D3DFMT_Q16W16V16U16) ++q16_checks;
    EXPECT_EQ(c.checks_of_format, q16_checks);

    local->DestroyEngine();
    local.reset();
    local_d3d.reset();
  }
}

TEST_F(CapabilityProbeTest, EachFormatSetsItsOwnFlags) {
  struct Case {
    D3DFORMAT format;
    std::vector<ImageFormat> flags;
  } cases[] = {
      {D3DFMT_A16B16G16R16F, {F16}},
      {D3DFMT_A32B32G32R32F, {F32}},
      {D3DFMT_A16B16G16R16, {U16, B16}},
      {D3DFMT_Q16W16V16U16, {S16}},
      {D3DFMT_A2B10G10R10, {A2B10G10R10_PROBE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format);
    native_platform::ClearMessageBoxes();
    auto local_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    local_d3d->SupportTextureFormat(c.format);
    std::unique_ptr<Engine> local(new Engine);
    local->description = &description;
    // Sentinels: the probe must write every flag, true or false.
    for (bool& flag : local->format_supported) flag = true;
    local->d3d = local_d3d;
    D3DPRESENT_PARAMETERS parameters = DevicePresentParameters();
    ASSERT_EQ(D3D_OK, local_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x826, &parameters,
                                              local->device.put()));

    // Only the 10-bit format still passes the probe.
    EXPECT_EQ(D3D_OK, local->ProbeCapabilities());
    EXPECT_TRUE(Messages().empty());
    for (int format = 0; format < kProbedFormatCount; ++format) {
      bool expected = false;
      for (ImageFormat flag : c.flags) expected = expected || flag == format;
      EXPECT_EQ(expected, local->format_supported[format]) << "flag " << format;
    }
    local->DestroyEngine();
    local.reset();
    local_d3d.reset();
  }
}

TEST_F(CapabilityProbeTest, NoUsableFormatShowsItsMessage) {
  d3d->format_results.clear();
  // A format that passes two usages of three is still unusable.
  d3d->format_results[{D3DFMT_A32B32G32R32F, D3DUSAGE_RENDERTARGET}] = D3D_OK;
  d3d->format_results[{D3DFMT_A32B32G32R32F, D3DUSAGE_DYNAMIC}] = D3D_OK;
  CreateDevice(fakes::DeviceConfig());
  EXPECT_EQ(D3DERR_NOTAVAILABLE, subject->ProbeCapabilities());
  EXPECT_EQ(std::vector<std::wstring>{user_text::kNoPixelFormat}, Messages());
  for (bool supported : subject->format_supported) EXPECT_FALSE(supported);
}

TEST_F(CapabilityProbeTest, TextureShapeLimitsRefuseTheDeviceBeforeFormatChecks) {
  struct Case {
    DWORD texture_caps;
    HRESULT result;
    std::vector<std::wstring> messages;
  } cases[] = {
      {D3DPTEXTURECAPS_SQUAREONLY, D3DERR_NOTAVAILABLE, {user_text::kSquareTexturesOnly}},
      {D3DPTEXTURECAPS_SQUAREONLY | D3DPTEXTURECAPS_POW2,
       D3DERR_NOTAVAILABLE,
       {user_text::kSquareTexturesOnly}},
      {D3DPTEXTURECAPS_POW2, D3DERR_NOTAVAILABLE, {user_text::kPowerOfTwoTexturesOnly}},
      {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3D_OK, {}},
      {D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_ALPHA, D3D_OK, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "TextureCaps " << c.texture_caps);
    native_platform::ClearMessageBoxes();
    auto local_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    local_d3d->SupportTextureFormat(D3DFMT_A16B16G16R16F);
    local_d3d->device_config.caps.TextureCaps = c.texture_caps;
    std::unique_ptr<Engine> local(new Engine);
    local->description = &description;
    local->d3d = local_d3d;
    D3DPRESENT_PARAMETERS parameters = DevicePresentParameters();
    ASSERT_EQ(D3D_OK, local_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x826, &parameters,
                                              local->device.put()));

    EXPECT_EQ(c.result, local->ProbeCapabilities());
    EXPECT_EQ(c.messages, Messages());
    // Only F16 passes: three checks for it, one for each of the other four.
    EXPECT_EQ(c.result == D3D_OK ? 7u : 0u, local_d3d->check_format_calls().size());
    local->DestroyEngine();
    local.reset();
    local_d3d.reset();
  }
}

TEST_F(CapabilityProbeTest, FailedQueriesReturnTheirStatusSilently) {
  struct Case {
    const char* method;
    HRESULT status;
  } cases[] = {{"IDirect3DDevice9::GetDeviceCaps", D3DERR_INVALIDCALL},
               {"IDirect3DDevice9::GetDisplayMode", D3DERR_DEVICELOST}};
  CreateDevice(fakes::DeviceConfig());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    subject->caps.MaxTextureWidth = 12345;  // sentinel
    fakes::FailCall(c.method, 1, c.status);
    EXPECT_EQ(c.status, subject->ProbeCapabilities());
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(d3d->check_format_calls().empty());
    if (std::string(c.method) == "IDirect3DDevice9::GetDeviceCaps") {
      EXPECT_EQ(12345u, subject->caps.MaxTextureWidth);
    }
  }
}

TEST_F(CapabilityProbeTest, NoDeviceOrNoDirect3DIsAnInvalidCall) {
  EXPECT_EQ(D3DERR_INVALIDCALL, subject->ProbeCapabilities());
  CreateDevice(fakes::DeviceConfig());
  subject->d3d.reset();
  EXPECT_EQ(D3DERR_INVALIDCALL, subject->ProbeCapabilities());
  EXPECT_EQ(0, fakes::CallCount("IDirect3DDevice9::GetDeviceCaps"));
}

}  // namespace
}  // namespace engine_test
