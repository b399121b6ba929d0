// Creation of the Direct3D object and device: adapter choice, presentation
// parameters, behaviour flags, focus window and the caption of messages.
#include "engine/engine_messages.h"
#include "engine_test_support.h"
#include "support/user_texts.h"

namespace engine_test {
namespace {

class DeviceCreationTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    fakes::ResetFakeD3DX();
    ProvideCompiledEffect(description);
  }
};

TEST_F(DeviceCreationTest, AdapterSettingChoosesAdapterAndDeviceType) {
  struct Case {
    int setting;
    UINT adapters;
    UINT adapter;
    D3DDEVTYPE type;
  } cases[] = {
      {0, 1, 0, D3DDEVTYPE_HAL},          {1, 2, 1, D3DDEVTYPE_HAL},  {7, 1, 0, D3DDEVTYPE_HAL},
      {2, 2, 0, D3DDEVTYPE_HAL},          {-1, 1, 0, D3DDEVTYPE_REF}, {-5, 3, 0, D3DDEVTYPE_REF},
      {0x7fffffff, 4, 0, D3DDEVTYPE_HAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dev=" << c.setting << " adapters=" << c.adapters);
    auto local_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    local_d3d->adapter_count = c.adapters;
    local_d3d->SupportTextureFormat(D3DFMT_A32B32G32R32F);
    fakes::InstallDirect3D(local_d3d.get());
    std::unique_ptr<Engine> local(new Engine);
    local->description = &description;

    EXPECT_TRUE(local->SetUpDevice(&table, c.setting, false));
    ASSERT_EQ(1u, local_d3d->create_device_calls().size());
    EXPECT_EQ(c.adapter, local_d3d->create_device_calls()[0].adapter);
    EXPECT_EQ(c.type, local_d3d->create_device_calls()[0].device_type);
    EXPECT_TRUE(Messages().empty());

    local->DestroyEngine();
    local.reset();
    local_d3d.reset();
  }
}

TEST_F(DeviceCreationTest, DeviceIsCreatedWithFixedParametersOnTheHostWindow) {
  ASSERT_TRUE(subject->SetUpDevice(&table, 0, false));

  ASSERT_EQ(std::vector<UINT>{D3D_SDK_VERSION}, native_platform::Direct3DCreateCalls());
  ASSERT_EQ(1u, d3d->create_device_calls().size());
  const fakes::CreateDeviceCall& call = d3d->create_device_calls()[0];
  EXPECT_EQ(HostWindow(), call.focus_window);
  EXPECT_EQ(0x826u, call.behavior_flags);
  const D3DPRESENT_PARAMETERS& p = call.parameters;
  EXPECT_EQ(0u, p.BackBufferWidth);
  EXPECT_EQ(0u, p.BackBufferHeight);
  EXPECT_EQ(D3DFMT_UNKNOWN, p.BackBufferFormat);
  EXPECT_EQ(0u, p.BackBufferCount);
  EXPECT_EQ(D3DMULTISAMPLE_NONE, p.MultiSampleType);
  EXPECT_EQ(0u, p.MultiSampleQuality);
  EXPECT_EQ(D3DSWAPEFFECT_DISCARD, p.SwapEffect);
  EXPECT_EQ(nullptr, p.hDeviceWindow);
  EXPECT_EQ(TRUE, p.Windowed);
  EXPECT_EQ(FALSE, p.EnableAutoDepthStencil);
  EXPECT_EQ(D3DFMT_UNKNOWN, p.AutoDepthStencilFormat);
  EXPECT_EQ(0u, p.Flags);
  EXPECT_EQ(0u, p.FullScreen_RefreshRateInHz);
  EXPECT_EQ(0u, p.PresentationInterval);

  // The engine holds the device the Direct3D object handed out.
  EXPECT_EQ(d3d->last_device(), Device());
  EXPECT_EQ(d3d.get(), subject->d3d.get());
  EXPECT_TRUE(subject->effect);
  EXPECT_EQ(nullptr, subject->worker.thread);
  EXPECT_EQ(nullptr, subject->worker.job_event);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(DeviceCreationTest, PresentParametersAreTheSameForReset) {
  D3DPRESENT_PARAMETERS expected = {};
  expected.Windowed = TRUE;
  expected.SwapEffect = D3DSWAPEFFECT_DISCARD;
  D3DPRESENT_PARAMETERS actual = DevicePresentParameters();
  EXPECT_EQ(0, memcmp(&expected, &actual, sizeof expected));
}

TEST_F(DeviceCreationTest, EffectIsCreatedFromTheCompiledEffectOnTheNewDevice) {
  ASSERT_TRUE(subject->SetUpDevice(&table, 0, false));
  ASSERT_EQ(1u, fakes::CreateEffectCalls().size());
  const fakes::CreateEffectCall& call = fakes::CreateEffectCalls()[0];
  EXPECT_EQ(Device(), call.device);
  EXPECT_EQ(description.compiled_effect->GetBufferSize(), call.size);
  EXPECT_EQ(0x20800u, call.flags);
  EXPECT_EQ(nullptr, call.defines);
  EXPECT_EQ(nullptr, call.include);
  EXPECT_EQ(nullptr, call.pool);
  EXPECT_FALSE(call.error_buffer_requested);
}

TEST_F(DeviceCreationTest, WorkerRunsOnlyWhenAsked) {
  ASSERT_TRUE(subject->SetUpDevice(&table, 0, true));
  EXPECT_NE(nullptr, subject->worker.thread);
  EXPECT_NE(nullptr, subject->worker.job_event);
  EXPECT_NE(nullptr, subject->worker.done_event);
  EXPECT_EQ(subject.get(), subject->worker.job_argument);
  EXPECT_EQ(&RenderJobEntry, subject->worker.job_function);
  EXPECT_EQ(3, native_platform::OpenKernelHandles());
  Destroy();
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
}

TEST_F(DeviceCreationTest, SecondSetUpReleasesTheFirstDeviceAndObject) {
  ASSERT_TRUE(subject->SetUpDevice(&table, 0, false));
  // The effect holds the first device; drop it so only the engine's
  // references decide whether the first device goes.
  subject->effect.reset();
  auto second_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
  second_d3d->SupportTextureFormat(D3DFMT_A32B32G32R32F);
  fakes::InstallDirect3D(second_d3d.get());
  int live_before = fakes::LiveObjects();

  ASSERT_TRUE(subject->SetUpDevice(&table, 0, false));
  EXPECT_EQ(second_d3d->last_device(), Device());
  EXPECT_EQ(1u, second_d3d->create_device_calls().size());
  EXPECT_EQ(1u, d3d->create_device_calls().size());
  EXPECT_EQ(second_d3d.get(), subject->d3d.get());
  // First device, its back buffer and the first Direct3D object's engine
  // reference are gone; the new device, back buffer and effect exist.
  EXPECT_EQ(1u, d3d->references());
  EXPECT_EQ(live_before - 2 + 3, fakes::LiveObjects());
  Destroy();
  second_d3d.reset();
}

TEST_F(DeviceCreationTest, Direct3DCreateFailureShowsItsMessage) {
  fakes::InstallDirect3D(nullptr);
  EXPECT_FALSE(subject->SetUpDevice(&table, 0, false));
  EXPECT_EQ(std::vector<std::wstring>{user_text::kDirect3DCreateFailed}, Messages());
  EXPECT_FALSE(subject->d3d);
  EXPECT_FALSE(subject->device);
}

TEST_F(DeviceCreationTest, DeviceCreateFailureShowsItsMessageAndReleasesDirect3D) {
  fakes::FailCall("IDirect3D9::CreateDevice", 1, D3DERR_NOTAVAILABLE);
  EXPECT_FALSE(subject->SetUpDevice(&table, 0, false));
  EXPECT_EQ(std::vector<std::wstring>{user_text::kDeviceCreateFailed}, Messages());
  EXPECT_FALSE(subject->d3d);
  EXPECT_FALSE(subject->device);
  EXPECT_EQ(1u, d3d->references());  // only the test's own
}

TEST_F(DeviceCreationTest, ErrorBoxesAreSystemModalWithoutOwner) {
  fakes::InstallDirect3D(nullptr);
  subject->SetUpDevice(&table, 0, false);
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  const auto& box = native_platform::MessageBoxes()[0];
  EXPECT_EQ(nullptr, box.owner);
  EXPECT_EQ(UINT(MB_ICONERROR | MB_SYSTEMMODAL), box.style);
  EXPECT_EQ(0x1010u, box.style);
}

TEST_F(DeviceCreationTest, CaptionIsTheDisplayNameOrTexloom) {
  wchar_t name[] = L"ぼかしフィルタ";
  struct Case {
    wchar_t* display_name;
    const wchar_t* caption;
  } cases[] = {{nullptr, L"Texloom"}, {name, L"ぼかしフィルタ"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "display name " << (c.display_name ? "set" : "null"));
    native_platform::ClearMessageBoxes();
    description.display_name = c.display_name;
    EXPECT_STREQ(c.caption, subject->MessageCaption());
    EXPECT_EQ(0, subject->ShowError(L"error text"));
    EXPECT_EQ(0, subject->ShowWarning(L"warning text"));
    ASSERT_EQ(2u, native_platform::MessageBoxes().size());
    const auto& error = native_platform::MessageBoxes()[0];
    const auto& warning = native_platform::MessageBoxes()[1];
    EXPECT_EQ(c.caption, error.caption);
    EXPECT_EQ(L"error text", error.text);
    EXPECT_EQ(0x1010u, error.style);
    EXPECT_EQ(c.caption, warning.caption);
    EXPECT_EQ(L"warning text", warning.text);
    EXPECT_EQ(0x1030u, warning.style);
    EXPECT_EQ(nullptr, warning.owner);
  }
  description.display_name = nullptr;
}

TEST_F(DeviceCreationTest, CaptionWithoutDiscoveryRecordIsTexloom) {
  subject->description = nullptr;
  EXPECT_STREQ(L"Texloom", subject->MessageCaption());
}

TEST_F(DeviceCreationTest, NewEngineStartsEmpty) {
  Engine& e = *subject;
  EXPECT_FALSE(e.d3d);
  EXPECT_FALSE(e.device);
  EXPECT_TRUE(e.current_frame_is_source);
  EXPECT_EQ(-1, e.frame_width);
  EXPECT_EQ(-1, e.frame_height);
  EXPECT_EQ(-1, e.row_stride);
  EXPECT_EQ(-1, e.current_frame);
  EXPECT_EQ(-1, e.total_frames);
  EXPECT_EQ(0, e.last_uploaded_frame);
  EXPECT_EQ(0, e.previous_uploaded_frame);
  EXPECT_EQ(none, e.image_format);
  for (bool supported : e.format_supported) EXPECT_FALSE(supported);
  EXPECT_EQ(nullptr, e.worker.thread);
  EXPECT_EQ(0, e.worker.applied_priority);
  EXPECT_EQ(0u, e.caps.MaxTextureWidth);
  // The constructor points the engine at the module-wide discovery record.
  Engine fresh;
  EXPECT_EQ(&effect_discovery, fresh.description);
  fresh.DestroyEngine();
}

}  // namespace
}  // namespace engine_test
