// Packing models into shared vertex buffers: kinds and queues by variant,
// the 32766-vertex limit, the log lines, and a loaded model's vertices and
// indices landing where its strips' running offsets say.
#include "orvo/viewer/vertex_buffers.h"

#include <gtest/gtest.h>

#include <cstring>

#include "../export/sample_3di.h"
#include "orvo/viewer/model_loader.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

struct FakeDevice : BufferDevice {
  struct Call {
    BufferKind kind;
    bool vid;
    std::vector<std::byte> vertices;
    std::vector<uint16_t> indices;
  };
  std::vector<Call> calls;
  std::vector<int> released;
  int fail_from = 1 << 30;  // calls from this one on fail

  int create_buffers(BufferKind kind, bool vid, std::span<const std::byte> v, std::span<const uint16_t> i) override {
    calls.push_back({kind, vid, {v.begin(), v.end()}, {i.begin(), i.end()}});
    return static_cast<int>(calls.size()) > fail_from ? 0 : static_cast<int>(calls.size());
  }
  void release(int handle) override { released.push_back(handle); }
};

// Plain models of the given vertex counts and variant selectors, no strips.
struct Models {
  std::vector<std::unique_ptr<render::Model>> owned;
  std::vector<std::vector<render::VertexM>> vertices;
  std::vector<render::Model*> list;

  void add(uint32_t count, std::array<uint8_t, 2> variants = {1, 1}) {
    auto m = std::make_unique<render::Model>();
    vertices.emplace_back(count);
    m->file_name = "M" + std::to_string(owned.size()) + ".3DI";
    m->vertex_count = count;
    m->vertices_m = vertices.back();
    m->variants = variants;
    list.push_back(m.get());
    owned.push_back(std::move(m));
  }
};

class VertexBuffersTest : public ::testing::Test {
 protected:
  // The log from the "Creating Vertex Buffers" line on.
  std::string logged() {
    const std::string text = tools::test::slurp(log_.path());
    return text.substr(text.find("\nCreating Vertex Buffers\n"));
  }

  tools::test::ScratchDir dir_;
  ExportLog log_{dir_.file("3di_log.txt")};
  FakeDevice device_;
  VertexBuffers buffers_{device_, &log_};
};

std::string counts(std::array<int, 6> vid, std::array<int, 6> sys) {
  static const char* kNames[] = {
      "Segmented1:  ", "Segmented2:  ", "SegTangent:  ", "Skinned:     ", "SkinTangent: ", "Skinned Old: "};
  std::string out;
  for (int k = 0; k < 6; ++k) out += "Model Count - Vid " + std::string(kNames[k]) + std::to_string(vid[k]) + "\n";
  for (int k = 0; k < 6; ++k) out += "Model Count - Sys " + std::string(kNames[k]) + std::to_string(sys[k]) + "\n";
  return out;
}

TEST_F(VertexBuffersTest, QueuesFillBuffersUpTo32766Vertices) {
  Models m;
  m.add(20000);
  m.add(10000);
  m.add(5000);
  buffers_.create_vertex_buffers(m.list, {});
  ASSERT_EQ(buffers_.buffers().size(), 2u);
  EXPECT_EQ(buffers_.placement(m.list[1], kVariantSys)->base_vertex, 20000u);
  EXPECT_EQ(buffers_.placement(m.list[2], kVariantSys)->buffer, 1);
  EXPECT_EQ(buffers_.placement(m.list[2], kVariantVid), nullptr);
  EXPECT_EQ(logged(), "\nCreating Vertex Buffers\n" + counts({}, {3, 0, 0, 0, 0, 0}) +
                          "Created VB - Segmented1: 2 models  (937k)  v =30000 i =    0\n"
                          "Created VB - Segmented1: 1 models  (156k)  v = 5000 i =    0\n"
                          "Total VB Usage: 1.07Mb\n");
  // Marked models are not queued again.
  buffers_.create_vertex_buffers(m.list, {});
  EXPECT_EQ(buffers_.buffers().size(), 2u);
  buffers_.release_all();
  EXPECT_EQ(device_.released, (std::vector<int>{1, 2}));
}

TEST_F(VertexBuffersTest, SelectorsChooseTheVariants) {
  Models m;
  m.add(10, {2, 1});  // both
  m.add(10, {2, 2});  // "Vid" once
  m.add(10, {0, 0});  // none
  m.add(10, {2, 0});  // the first selector alone
  buffers_.create_vertex_buffers(m.list, {});
  EXPECT_EQ(logged().substr(0, logged().find("Created")),
            "\nCreating Vertex Buffers\n" + counts({3, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}));
  ASSERT_EQ(device_.calls.size(), 2u);
  EXPECT_TRUE(device_.calls[0].vid);  // "Vid" queues first
  EXPECT_FALSE(device_.calls[1].vid);
  EXPECT_NE(buffers_.placement(m.list[0], kVariantSys), nullptr);
  EXPECT_FALSE(buffers_.has_buffer_mark(m.list[2]));
}

TEST_F(VertexBuffersTest, OversizedModelsAndFailedBuffers) {
  Models m;
  m.add(32767);
  m.add(32766);
  m.add(1);
  device_.fail_from = 1;  // the second buffer cannot be made: the queue ends
  buffers_.create_vertex_buffers(m.list, {});
  EXPECT_NE(logged().find("Error: model 'M0.3DI' has 32767 vertices, more than a vertex buffer holds (32766)\n"
                          "Created VB - Segmented1: 1 models  (1023k)  v =32766 i =    0\nTotal VB Usage: 1.00Mb\n"),
            std::string::npos)
      << logged();
  EXPECT_EQ(buffers_.buffers().size(), 1u);
  for (render::Model* model : m.list) EXPECT_TRUE(buffers_.has_buffer_mark(model));
  EXPECT_EQ(buffers_.placement(m.list[0], kVariantSys), nullptr);
  EXPECT_EQ(buffers_.placement(m.list[2], kVariantSys), nullptr);
}

TEST(VertexBufferKinds, KindByMeshAndCapabilities) {
  struct Case {
    render::MeshKind kind;
    bool vstream, second_layer, tnl;
    BufferKind want;
    uint32_t stride;
  };
  using K = render::MeshKind;
  for (const Case& c : {Case{K::kPlain, false, false, true, BufferKind::kSegmented1, 32},
                        Case{K::kPlain, false, true, true, BufferKind::kSegmented2, 40},
                        Case{K::kPlain, true, true, true, BufferKind::kSegTangent, 64},
                        Case{K::kPlain, true, false, false, BufferKind::kSegmented1, 32},
                        Case{K::kSkinned, false, false, true, BufferKind::kSkinned, 56},
                        Case{K::kSkinned, true, false, true, BufferKind::kSkinnedTangent, 80},
                        Case{K::kOldSkinned, true, false, true, BufferKind::kSkinnedOld, 44}}) {
    render::Model m;
    std::vector<render::Tangent> vstream(c.vstream ? 1 : 0);
    m.kind = c.kind;
    m.vstream = vstream;
    m.second_layer = c.second_layer;
    RenderCapabilities caps;
    caps.hardware_tnl = c.tnl;
    EXPECT_EQ(buffer_kind(m, caps), c.want);
    EXPECT_EQ(buffer_kind_info(c.want).stride, c.stride);
  }
}

// A model loaded from an exported file: its indices sit at first index +
// running offset, and its vertices in the kind's layout.
TEST_F(VertexBuffersTest, LoadedStripsSitAtTheirRunningOffsets) {
  MemoryPool pool;
  ASSERT_TRUE(pool.initialise(4 << 20, kPoolMasterId, "_fastmem.txt", dir_.path()));
  FileAccess files;
  ModelLoader loader(files, pool, &log_);
  file3di::File3di f = file3di::sample_file();
  for (std::size_t i = 0; i < f.plain_vertices.size(); ++i) f.plain_vertices[i].position = {float(i), 2, 3};
  (*f.vstream)[1].tangent = {7, 8, 9};
  const std::string bytes = *file3di::encode_3di(f);
  tools::test::write_bytes(dir_.file("a.3di"), bytes);
  tools::test::write_bytes(dir_.file("b.3di"), bytes);
  for (bool tnl : {false, true}) {
    loader.capabilities.hardware_tnl = tnl;
    std::vector<render::Model*> list = {loader.load_model(dir_.file("a.3di")), loader.load_model(dir_.file("b.3di"))};
    ASSERT_NE(list[0], nullptr);
    ASSERT_NE(list[1], nullptr);
    for (render::Model* m : list) m->variants = {1, 1};
    RenderCapabilities caps;
    caps.hardware_tnl = tnl;
    buffers_.create_vertex_buffers(list, caps);

    // The second model follows the first in the same buffer.
    render::Model* tank = list[1];
    const BufferPlacement* at = buffers_.placement(tank, kVariantSys);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->base_vertex, 4u);
    EXPECT_EQ(at->first_index, list[0]->running_index_count);
    EXPECT_EQ(at->stride, tnl ? 64u : 32u);
    const FakeDevice::Call& call = device_.calls.back();
    ASSERT_EQ(device_.calls.size(), tnl ? 2u : 1u);
    EXPECT_EQ(call.indices.size(), 2 * tank->running_index_count);
    uint32_t strips = 0;
    for (uint32_t l = 0; l < tank->lod_count; ++l) {
      auto check = [&](const render::Strip& s) {
        ++strips;
        for (std::size_t i = 0; i < s.indices.size(); ++i)
          EXPECT_EQ(call.indices[at->first_index + s.addr + i], s.indices[i]);
      };
      for (const render::Strip& s : tank->lods[l]->strips) check(s);
      for (const render::ActionPlane& a : tank->lods[l]->action_planes) check(a.strip);
    }
    EXPECT_EQ(strips, 4u);
    // Vertex 1: its position, and with tangents its tangent after the
    // 40-byte runtime vertex.
    float got[3];
    std::memcpy(got, call.vertices.data() + (at->base_vertex + 1) * at->stride, sizeof got);
    EXPECT_EQ(got[0], 1.0f);
    if (tnl) {
      std::memcpy(got, call.vertices.data() + (at->base_vertex + 1) * at->stride + 40, sizeof got);
      EXPECT_EQ(got[2], 9.0f);
    }
    buffers_.release_all();
    loader.release_all();
  }
}

}  // namespace
}  // namespace orvo
