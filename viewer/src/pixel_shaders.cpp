#include "orvo/viewer/pixel_shaders.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace orvo {

namespace {

// The preview's programs in table order. 5 and 6 are 4 with the closing
// multiply dropped (6 doubling the reflection instead); 10 is 9 with the
// specular colour in place of c5 in the last colour step.
constexpr std::string_view kPrograms[kPixelShaderCount] = {
    // 0: bump-lit diffuse plus specular, times the base texture, its alpha
    "tex t0\n"
    "tex t1\n"
    "dp3_sat r0, t0_bx2, v0_bx2\n"
    "mul r0, r0, c[4]\n"
    "add r0, r0, v1\n"
    "mul_x2 r0, r0, t1\n"
    "mov r0.a, t1.a\n",
    // 1
    "tex t0\n"
    "tex t1\n"
    "tex t2\n"
    "dp3_sat r0, t0_bx2, v0_bx2\n"
    "mul r0, r0, c[4]\n"
    "add r0, r0, v1\n"
    "mul r0, r0, t1\n"
    "mul_x2 r0, r0, t2\n",
    // 2
    "tex t0\n"
    "tex t1\n"
    "tex t2\n"
    "mov r0, t0\n"
    "dp3_sat r0, r0_bx2, t1_bx2\n"
    "mul r0, r0, v0\n"
    "mul r0, r0, t2\n"
    "mov r0.a, t1.a\n",
    // 3
    "def c[0], 0, 0, 0, 0\n"
    "tex t0\n"
    "texm3x2pad t1, t0_bx2\n"
    "texm3x2tex t2, t0_bx2\n"
    "tex t3\n"
    "add r0, t2, c[0]\n"
    "mul r0, r0, t3\n"
    "mad r0, t2.a, t2.a, r0\n",
    // 4
    "tex t0\n"
    "texm3x3pad t1, t0_bx2\n"
    "texm3x3pad t2, t0_bx2\n"
    "texm3x3vspec t3, t0_bx2\n"
    "mov r0, t3\n"
    "mul r0, r0, c[4]\n",
    // 5
    "tex t0\n"
    "texm3x3pad t1, t0_bx2\n"
    "texm3x3pad t2, t0_bx2\n"
    "texm3x3vspec t3, t0_bx2\n"
    "mov r0, t3\n",
    // 6
    "tex t0\n"
    "texm3x3pad t1, t0_bx2\n"
    "texm3x3pad t2, t0_bx2\n"
    "texm3x3vspec t3, t0_bx2\n"
    "mov_x2 r0, t3\n",
    // 7
    "tex t0\n"
    "mov r0, t0.a\n",
    // 8
    "tex t0\n"
    "tex t1\n"
    "tex t2\n"
    "tex t3\n"
    "dp3 r1, t0_bx2, t2_bx2\n"
    "mad r0.rgb, r1, c[6], c[5]\n"
    "mul_x2 r0.rgb, r0, t3\n"
    "+mov r0.a, v0\n",
    // 9
    "tex t0\n"
    "tex t1\n"
    "tex t2\n"
    "tex t3\n"
    "dp3_sat r1, t0_bx2, t2_bx2\n"
    "dp3_sat r0.rgb, t0_bx2, t1_bx2\n"
    "+mul r1.a, r1.a, r1.a\n"
    "mul r0.rgb, r0, t3\n"
    "+mul r1.a, r1.a, r1.a\n"
    "mul r1.a, r1.a, r1.a\n"
    "mad r0.rgb, r1.a, t3.a, r0\n"
    "mul r0.rgb, r0, v0\n"
    "mad_x2 r0.rgb, t3, c[5], r0\n"
    "+mov r0.a, v0\n",
    // 10
    "tex t0\n"
    "tex t1\n"
    "tex t2\n"
    "tex t3\n"
    "dp3_sat r1, t0_bx2, t2_bx2\n"
    "dp3_sat r0.rgb, t0_bx2, t1_bx2\n"
    "+mul r1.a, r1.a, r1.a\n"
    "mul r0.rgb, r0, t3\n"
    "+mul r1.a, r1.a, r1.a\n"
    "mul r1.a, r1.a, r1.a\n"
    "mad r0.rgb, r1.a, t3.a, r0\n"
    "mul r0.rgb, r0, v0\n"
    "mad_x2 r0.rgb, t3, v1, r0\n"
    "+mov r0.a, v0\n",
    // 11
    "def c[1], 1, 0, 0, 0\n"
    "def c[2], 0, 0, 1, 0\n"
    "tex t0\n"
    "texm3x2pad t1, t0_bx2\n"
    "texm3x2tex t2, t0_bx2\n"
    "tex t3\n"
    "lrp r0, t3.a, c[2], c[1]\n"
    "dp3_sat r0, r0, t2\n"
    "mul r0, r0, t3.a\n"
    "mad r0, t3, t2.a, r0\n"
    "mul r0, r0, v0\n"
    "mad_x2 r0.rgb, t3, c[5], r0\n"
    "+mov r0.a, v0\n",
    // 12
    "def c[0], 0.5, 0.5, 0.5, 1\n"
    "def c[1], 1, 0, 0, 0\n"
    "def c[2], 0, 0, 1, 0\n"
    "def c[3], 0.5, 0.5, 0.5, 0\n"
    "def c[4], 0.1, 0.1, 0.4, 1\n"
    "tex t0\n"
    "texm3x2pad t1, t0_bx2\n"
    "texm3x2tex t2, t0_bx2\n"
    "tex t3\n"
    "mov t3.rgb, c[4]\n"
    "lrp r0, t3.a, c[2], c[1]\n"
    "dp3_sat r0, r0, t2\n"
    "mul r0, r0, t3.a\n"
    "mul_x2 r0, r0, c[3]\n"
    "mad r0, t3, t2.a, r0\n"
    "mul_x2 r0, r0, v0\n"
    "mad r0, t3, c[0], r0\n",
    // 13
    "tex t0\n"
    "tex t1\n"
    "tex t2\n"
    "tex t3\n"
    "dp3_sat r0, t0_bx2, t1_bx2\n"
    "mad r0, r0, v0, c[5]\n"
    "mul_x2 r0, r0, t3\n",
};

// ---------------------------------------------------------------- parsing

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

std::vector<std::string_view> split_operands(std::string_view s) {
  std::vector<std::string_view> out;
  if (trim(s).empty()) return out;
  for (;;) {
    const auto comma = s.find(',');
    out.push_back(trim(s.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return out;
}

bool is_texture_op(PsOp op) {
  return op == PsOp::kTex || op == PsOp::kTexM3x2Pad || op == PsOp::kTexM3x2Tex || op == PsOp::kTexM3x3Pad ||
         op == PsOp::kTexM3x3VSpec;
}

struct OpInfo {
  std::string_view name;
  PsOp op;
  int sources;
};

constexpr OpInfo kOps[] = {
    {"tex", PsOp::kTex, 0},
    {"texm3x2pad", PsOp::kTexM3x2Pad, 1},
    {"texm3x2tex", PsOp::kTexM3x2Tex, 1},
    {"texm3x3pad", PsOp::kTexM3x3Pad, 1},
    {"texm3x3vspec", PsOp::kTexM3x3VSpec, 1},
    {"mov", PsOp::kMov, 1},
    {"add", PsOp::kAdd, 2},
    {"mul", PsOp::kMul, 2},
    {"mad", PsOp::kMad, 3},
    {"lrp", PsOp::kLrp, 3},
    {"dp3", PsOp::kDp3, 2},
};

class Parser {
 public:
  Parser(int line, std::string_view text) : line_(line), text_(text) {}

  const std::string& error() const { return error_; }

  bool fail(const std::string& what) {
    error_ = "line " + std::to_string(line_) + " (" + std::string(text_) + "): " + what;
    return false;
  }

  // t0..t3, r0 r1, v0 v1, c0..c7 or c[0]..c[7].
  bool parse_register(std::string_view s, PsFile* file, int* index) {
    const std::string name = lower(s);
    if (name.size() < 2) return fail("unknown register '" + std::string(s) + "'");
    std::string_view digits = std::string_view(name).substr(1);
    int limit = 0;
    switch (name[0]) {
      case 't': *file = PsFile::kTexture, limit = 4; break;
      case 'r': *file = PsFile::kTemp, limit = 2; break;
      case 'v': *file = PsFile::kColour, limit = 2; break;
      case 'c': *file = PsFile::kConst, limit = 8; break;
      default: return fail("unknown register '" + std::string(s) + "'");
    }
    if (name[0] == 'c' && digits.size() >= 3 && digits.front() == '[' && digits.back() == ']')
      digits = digits.substr(1, digits.size() - 2);
    int value = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < 0 || value >= limit)
      return fail("unknown register '" + std::string(s) + "'");
    *index = value;
    return true;
  }

  bool parse_dest(std::string_view s, PsInstruction* ins) {
    const auto dot = s.find('.');
    if (!parse_register(s.substr(0, dot), &ins->dest_file, &ins->dest)) return false;
    if (dot == std::string_view::npos) return true;
    const std::string mask = lower(s.substr(dot + 1));
    if (mask == "rgb") {
      ins->write_alpha = false;
    } else if (mask == "a") {
      ins->write_rgb = false;
    } else if (mask != "rgba") {
      return fail("unknown write mask '." + std::string(s.substr(dot + 1)) + "'");
    }
    return true;
  }

  // A register with _bx2 and the .a replicate, in either order.
  bool parse_source(std::string_view s, PsSource* src) {
    std::size_t end = s.find_first_of("_.");
    if (!parse_register(s.substr(0, end), &src->file, &src->index)) return false;
    std::string rest = lower(end == std::string_view::npos ? std::string_view() : s.substr(end));
    while (!rest.empty()) {
      if (rest.rfind("_bx2", 0) == 0 && !src->bias_x2) {
        src->bias_x2 = true;
        rest.erase(0, 4);
      } else if (rest.rfind(".a", 0) == 0 && !src->replicate_alpha) {
        src->replicate_alpha = true;
        rest.erase(0, 2);
      } else {
        return fail("unknown source modifier '" + rest + "' on '" + std::string(s) + "'");
      }
    }
    return true;
  }

  bool parse_def(std::string_view operands, PsProgram* program) {
    const auto parts = split_operands(operands);
    if (parts.size() != 5) return fail("def takes a constant register and four numbers");
    PsFile file{};
    int index = 0;
    if (!parse_register(parts[0], &file, &index)) return false;
    if (file != PsFile::kConst) return fail("def sets a constant register, not '" + std::string(parts[0]) + "'");
    Vec4 value{};
    for (int i = 0; i < 4; ++i) {
      const std::string_view n = parts[static_cast<std::size_t>(i) + 1];
      const char* first = n.data();
      if (!n.empty() && n.front() == '+') ++first;
      const auto [end, ec] = std::from_chars(first, n.data() + n.size(), value[static_cast<std::size_t>(i)]);
      if (n.empty() || ec != std::errc() || end != n.data() + n.size())
        return fail("'" + std::string(n) + "' is not a number");
    }
    program->defs[static_cast<std::size_t>(index)] = value;
    return true;
  }

  bool parse_instruction(std::string_view body, PsInstruction* ins) {
    const auto space = body.find_first_of(" \t");
    const std::string mnemonic = lower(body.substr(0, space));
    const std::string_view operands = space == std::string_view::npos ? std::string_view() : body.substr(space);
    const auto underscore = mnemonic.find('_');
    const std::string name = mnemonic.substr(0, underscore);
    const OpInfo* info = nullptr;
    for (const auto& o : kOps)
      if (o.name == name) info = &o;
    if (info == nullptr) return fail("unknown instruction '" + name + "'");
    ins->op = info->op;
    for (std::size_t at = underscore; at != std::string::npos;) {
      const auto next = mnemonic.find('_', at + 1);
      const std::string mod = mnemonic.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
      if (mod == "x2" && !ins->times2 && !is_texture_op(info->op)) {
        ins->times2 = true;
      } else if (mod == "sat" && !ins->saturate && !is_texture_op(info->op)) {
        ins->saturate = true;
      } else {
        return fail("unknown instruction modifier '_" + mod + "' on '" + name + "'");
      }
      at = next;
    }
    const auto parts = split_operands(operands);
    if (static_cast<int>(parts.size()) != info->sources + 1)
      return fail(name + " takes " + std::to_string(info->sources + 1) + " operands");
    if (!parse_dest(parts[0], ins)) return false;
    if (is_texture_op(info->op)) {
      if (ins->dest_file != PsFile::kTexture) return fail(name + " writes a texture register");
      if (!ins->write_rgb || !ins->write_alpha) return fail(name + " takes no write mask");
    } else if (ins->dest_file != PsFile::kTemp && ins->dest_file != PsFile::kTexture) {
      return fail("'" + std::string(parts[0]) + "' cannot be written");
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
      PsSource src;
      if (!parse_source(parts[i], &src)) return false;
      ins->sources.push_back(src);
    }
    return true;
  }

 private:
  int line_;
  std::string_view text_;
  std::string error_;
};

// Where a texture-matrix sequence stands: which instruction may come next.
struct MatrixState {
  PsOp expected{};
  int reg = 0;  // the texture register the next one must write
  bool open = false;
};

}  // namespace

std::string_view pixel_shader_text(int k) {
  return k >= 0 && k < kPixelShaderCount ? kPrograms[k] : std::string_view();
}

std::optional<PsProgram> parse_pixel_shader(std::string_view text, std::string* error) {
  PsProgram program;
  MatrixState matrix;
  int line_no = 0;
  auto failed = [&](const std::string& what) -> std::optional<PsProgram> {
    if (error != nullptr) *error = what;
    return std::nullopt;
  };
  auto reject = [&](Parser& parser, const std::string& what) {
    parser.fail(what);
    return failed(parser.error());
  };
  for (std::size_t pos = 0; pos < text.size();) {
    ++line_no;
    const auto newline = text.find('\n', pos);
    std::string_view raw = text.substr(pos, newline == std::string_view::npos ? std::string_view::npos : newline - pos);
    pos = newline == std::string_view::npos ? text.size() : newline + 1;
    if (const auto comment = raw.find("//"); comment != std::string_view::npos) raw = raw.substr(0, comment);
    const std::string_view line = trim(raw);
    if (line.empty() || lower(line) == "ps.1.1") continue;
    Parser parser(line_no, line);
    if (lower(line.substr(0, line.find_first_of(" \t"))) == "def") {
      if (!parser.parse_def(line.substr(3), &program)) return failed(parser.error());
      continue;
    }
    PsInstruction ins;
    ins.line = line_no;
    ins.text = std::string(line);
    std::string_view body = line;
    if (body.front() == '+') {
      ins.coissue = true;
      body = trim(body.substr(1));
    }
    if (!parser.parse_instruction(body, &ins)) return failed(parser.error());

    if (ins.coissue) {
      if (program.instructions.empty() || is_texture_op(ins.op) || is_texture_op(program.instructions.back().op) ||
          program.instructions.back().coissue)
        return reject(parser, "'+' pairs an arithmetic instruction with the arithmetic one before");
      const PsInstruction& partner = program.instructions.back();
      if (partner.dest_file == ins.dest_file && partner.dest == ins.dest &&
          ((partner.write_rgb && ins.write_rgb) || (partner.write_alpha && ins.write_alpha)))
        return reject(parser, "co-issued instructions write the same channels");
    }

    // texm3x2pad tN, texm3x2tex tN+1; texm3x3pad tN, texm3x3pad tN+1, texm3x3vspec t3.
    const bool matrix_op = ins.op == PsOp::kTexM3x2Pad || ins.op == PsOp::kTexM3x2Tex || ins.op == PsOp::kTexM3x3Pad ||
                           ins.op == PsOp::kTexM3x3VSpec;
    if (matrix.open) {
      if (ins.op != matrix.expected || ins.dest != matrix.reg)
        return reject(parser, "the texture matrix needs " +
                                  std::string(matrix.expected == PsOp::kTexM3x2Tex   ? "texm3x2tex"
                                              : matrix.expected == PsOp::kTexM3x3Pad ? "texm3x3pad"
                                                                                     : "texm3x3vspec") +
                                  " t" + std::to_string(matrix.reg) + " next");
    } else if (matrix_op && ins.op != PsOp::kTexM3x2Pad && ins.op != PsOp::kTexM3x3Pad) {
      return reject(parser, std::string(ins.op == PsOp::kTexM3x2Tex ? "texm3x2tex" : "texm3x3vspec") +
                                " comes after its pad instructions");
    }
    if (ins.op == PsOp::kTexM3x2Pad) {
      matrix = {PsOp::kTexM3x2Tex, ins.dest + 1, true};
    } else if (ins.op == PsOp::kTexM3x3Pad) {
      const bool second = matrix.open;
      matrix = {second ? PsOp::kTexM3x3VSpec : PsOp::kTexM3x3Pad, ins.dest + 1, true};
    } else {
      matrix.open = false;
    }
    if (ins.op == PsOp::kTexM3x3VSpec && ins.dest != 3)
      return reject(parser, "texm3x3vspec reads the cube map of stage 3 into t3");
    if (matrix.open && matrix.reg > 3) return reject(parser, "the texture matrix runs past t3");
    program.instructions.push_back(std::move(ins));
  }
  if (matrix.open) return failed("end of program: the texture matrix is not finished");
  if (error != nullptr) error->clear();
  return program;
}

// ------------------------------------------------------------- evaluation

namespace {

float clamp_to(float x, float lo, float hi) {
  return std::min(hi, std::max(lo, x));
}

Vec4 clamped(Vec4 v, float lo, float hi) {
  for (float& x : v) x = clamp_to(x, lo, hi);
  return v;
}

float dot3(const Vec4& a, const Vec4& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

struct Machine {
  const PsProgram& program;
  const PsInputs& in;
  std::array<Vec4, 4> t{};
  std::array<Vec4, 2> r{};
  std::array<float, 3> m{};  // the texture matrix's dot products so far

  Vec4 read(const PsSource& s) const {
    const auto i = static_cast<std::size_t>(s.index);
    Vec4 v{};
    switch (s.file) {
      case PsFile::kTexture: v = t[i]; break;
      case PsFile::kTemp: v = r[i]; break;
      case PsFile::kColour: v = clamped(i == 0 ? in.v0 : in.v1, 0.0f, 1.0f); break;
      case PsFile::kConst: v = clamped(program.defs[i] ? *program.defs[i] : in.c[i], -1.0f, 1.0f); break;
    }
    if (s.replicate_alpha) v = {v[3], v[3], v[3], v[3]};
    if (s.bias_x2)
      for (float& x : v) x = 2.0f * x - 1.0f;
    return v;
  }

  Vec4 sample2d(int stage, float u, float v) const {
    return in.sample2d ? clamped(in.sample2d(stage, u, v), 0.0f, 1.0f) : Vec4{};
  }

  Vec4 arithmetic(const PsInstruction& ins) const {
    std::array<Vec4, 3> s{};
    for (std::size_t k = 0; k < ins.sources.size(); ++k) s[k] = read(ins.sources[k]);
    Vec4 out{};
    for (std::size_t c = 0; c < 4; ++c) {
      const float a = s[0][c], b = s[1][c], d = s[2][c];
      switch (ins.op) {
        case PsOp::kMov: out[c] = a; break;
        case PsOp::kAdd: out[c] = a + b; break;
        case PsOp::kMul: out[c] = a * b; break;
        case PsOp::kMad: out[c] = a * b + d; break;
        case PsOp::kLrp: out[c] = a * b + (1.0f - a) * d; break;
        case PsOp::kDp3: out[c] = dot3(s[0], s[1]); break;
        default: break;
      }
      if (ins.times2) out[c] *= 2.0f;
      if (ins.saturate) out[c] = clamp_to(out[c], 0.0f, 1.0f);
      out[c] = clamp_to(out[c], -1.0f, 1.0f);
    }
    return out;
  }

  void write(const PsInstruction& ins, const Vec4& value) {
    Vec4& dst = ins.dest_file == PsFile::kTexture ? t[static_cast<std::size_t>(ins.dest)]
                                                  : r[static_cast<std::size_t>(ins.dest)];
    for (std::size_t c = 0; c < 4; ++c)
      if (c < 3 ? ins.write_rgb : ins.write_alpha) dst[c] = value[c];
  }

  void texture(const PsInstruction& ins) {
    const auto n = static_cast<std::size_t>(ins.dest);
    const Vec4& tc = in.texcoord[n];
    const float d = ins.sources.empty() ? 0.0f : dot3(tc, read(ins.sources[0]));
    switch (ins.op) {
      case PsOp::kTex: t[n] = sample2d(ins.dest, tc[0], tc[1]); break;
      case PsOp::kTexM3x2Pad: m[0] = d; break;
      case PsOp::kTexM3x2Tex: t[n] = sample2d(ins.dest, m[0], d); break;
      case PsOp::kTexM3x3Pad: m[std::min<std::size_t>(pad_count_++, 1)] = d; break;
      case PsOp::kTexM3x3VSpec: {
        m[2] = d;
        const Vec4 nrm{m[0], m[1], m[2], 0.0f};
        const Vec4 eye{in.texcoord[n - 2][3], in.texcoord[n - 1][3], tc[3], 0.0f};
        const float nn = dot3(nrm, nrm);
        const float scale = nn > 0.0f ? 2.0f * dot3(nrm, eye) / nn : 0.0f;
        const float x = scale * nrm[0] - eye[0], y = scale * nrm[1] - eye[1], z = scale * nrm[2] - eye[2];
        t[n] = in.sample_cube ? clamped(in.sample_cube(x, y, z), 0.0f, 1.0f) : Vec4{};
        pad_count_ = 0;
        break;
      }
      default: break;
    }
  }

  std::size_t pad_count_ = 0;
};

}  // namespace

Vec4 evaluate_pixel_shader(const PsProgram& program, const PsInputs& inputs) {
  Machine machine{program, inputs};
  const auto& list = program.instructions;
  for (std::size_t i = 0; i < list.size();) {
    if (is_texture_op(list[i].op)) {
      machine.texture(list[i]);
      ++i;
      continue;
    }
    // Every instruction of a co-issued group reads before any writes.
    std::size_t end = i + 1;
    while (end < list.size() && list[end].coissue) ++end;
    std::vector<Vec4> results;
    for (std::size_t k = i; k < end; ++k) results.push_back(machine.arithmetic(list[k]));
    for (std::size_t k = i; k < end; ++k) machine.write(list[k], results[k - i]);
    i = end;
  }
  return clamped(machine.r[0], 0.0f, 1.0f);
}

// ------------------------------------------------------------ translation

namespace {

std::string glsl_float(float x) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  std::string s(buffer, end);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string glsl_vec4(const Vec4& v) {
  return "vec4(" + glsl_float(v[0]) + ", " + glsl_float(v[1]) + ", " + glsl_float(v[2]) + ", " + glsl_float(v[3]) + ")";
}

std::string register_name(PsFile file, int index) {
  const char letter = file == PsFile::kTexture  ? 't'
                      : file == PsFile::kTemp   ? 'r'
                      : file == PsFile::kColour ? 'v'
                                                : 'c';
  return letter + std::to_string(index);
}

std::string glsl_source(const PsSource& s) {
  std::string e = register_name(s.file, s.index);
  if (s.replicate_alpha) e = "vec4(" + e + ".a)";
  if (s.bias_x2) e = "(2.0 * " + e + " - 1.0)";
  return e;
}

std::string glsl_arithmetic(const PsInstruction& ins) {
  std::array<std::string, 3> s;
  for (std::size_t k = 0; k < ins.sources.size(); ++k) s[k] = glsl_source(ins.sources[k]);
  std::string e;
  switch (ins.op) {
    case PsOp::kMov: e = s[0]; break;
    case PsOp::kAdd: e = s[0] + " + " + s[1]; break;
    case PsOp::kMul: e = s[0] + " * " + s[1]; break;
    case PsOp::kMad: e = s[0] + " * " + s[1] + " + " + s[2]; break;
    case PsOp::kLrp: e = s[0] + " * " + s[1] + " + (1.0 - " + s[0] + ") * " + s[2]; break;
    case PsOp::kDp3: e = "vec4(dot(" + s[0] + ".rgb, " + s[1] + ".rgb))"; break;
    default: break;
  }
  if (ins.times2) e = "(" + e + ") * 2.0";
  if (ins.saturate) e = "clamp(" + e + ", 0.0, 1.0)";
  return "clamp(" + e + ", -1.0, 1.0)";
}

std::string glsl_write(const PsInstruction& ins, const std::string& value) {
  const std::string dst = register_name(ins.dest_file, ins.dest);
  if (ins.write_rgb && ins.write_alpha) return dst + " = " + value + ";";
  if (ins.write_rgb) return dst + ".rgb = " + value + ".rgb;";
  return dst + ".a = " + value + ".a;";
}

}  // namespace

std::string pixel_shader_glsl(const PsProgram& program, bool with_main, uint32_t cube_stages) {
  std::string g =
      "#version 330 core\n"
      "in vec4 v_tex0;\nin vec4 v_tex1;\nin vec4 v_tex2;\nin vec4 v_tex3;\n"
      "in vec4 v_diffuse;\nin vec4 v_specular;\n"
      "uniform sampler2D u_tex0;\nuniform sampler2D u_tex1;\nuniform sampler2D u_tex2;\nuniform sampler2D u_tex3;\n"
      "uniform samplerCube u_cube3;\n";
  for (int n = 0; n < 3; ++n)
    if ((cube_stages >> n) & 1u) g += "uniform samplerCube u_cube" + std::to_string(n) + ";\n";
  g += "uniform vec4 u_c[8];\n\n"
       "vec4 shade_pixel() {\n"
       "  vec4 t0 = vec4(0.0), t1 = vec4(0.0), t2 = vec4(0.0), t3 = vec4(0.0);\n"
       "  vec4 r0 = vec4(0.0), r1 = vec4(0.0);\n"
       "  vec4 v0 = clamp(v_diffuse, 0.0, 1.0);\n"
       "  vec4 v1 = clamp(v_specular, 0.0, 1.0);\n";
  for (std::size_t i = 0; i < 8; ++i) {
    const std::string value = program.defs[i] ? glsl_vec4(clamped(*program.defs[i], -1.0f, 1.0f))
                                              : "clamp(u_c[" + std::to_string(i) + "], -1.0, 1.0)";
    g += "  vec4 c" + std::to_string(i) + " = " + value + ";\n";
  }
  g += "  vec3 m = vec3(0.0);\n";
  const auto& list = program.instructions;
  int pads = 0;
  for (std::size_t i = 0; i < list.size();) {
    const PsInstruction& ins = list[i];
    g += "  // " + ins.text + "\n";
    const std::string n = std::to_string(ins.dest);
    const std::string tc = "v_tex" + n;
    const std::string src = ins.sources.empty() ? std::string() : glsl_source(ins.sources[0]);
    const std::string t = "t" + n;
    switch (ins.op) {
      case PsOp::kTex:
        // A stage bound to a cube map samples it in the direction of its coordinates.
        if ((cube_stages >> ins.dest) & 1u)
          g += "  " + t + " = clamp(texture(u_cube" + n + ", " + tc + ".xyz), 0.0, 1.0);\n";
        else g += "  " + t + " = clamp(texture(u_tex" + n + ", " + tc + ".xy), 0.0, 1.0);\n";
        break;
      case PsOp::kTexM3x2Pad: g += "  m.x = dot(" + tc + ".xyz, " + src + ".rgb);\n"; break;
      case PsOp::kTexM3x2Tex:
        g += "  " + t + " = clamp(texture(u_tex" + n + ", vec2(m.x, dot(" + tc + ".xyz, " + src +
             ".rgb))), 0.0, 1.0);\n";
        break;
      case PsOp::kTexM3x3Pad:
        g += std::string("  m.") + (pads++ == 0 ? "x" : "y") + " = dot(" + tc + ".xyz, " + src + ".rgb);\n";
        break;
      case PsOp::kTexM3x3VSpec: {
        pads = 0;
        const std::string a = "v_tex" + std::to_string(ins.dest - 2), b = "v_tex" + std::to_string(ins.dest - 1);
        g += "  m.z = dot(" + tc + ".xyz, " + src + ".rgb);\n";
        g += "  {\n    vec3 e = vec3(" + a + ".w, " + b + ".w, " + tc + ".w);\n";
        g += "    float nn = dot(m, m);\n";
        g += "    float s = nn > 0.0 ? 2.0 * dot(m, e) / nn : 0.0;\n";
        g += "    " + t + " = clamp(texture(u_cube3, s * m - e), 0.0, 1.0);\n  }\n";
        break;
      }
      default: break;
    }
    if (is_texture_op(ins.op)) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < list.size() && list[end].coissue) ++end;
    if (end == i + 1) {
      g += "  " + glsl_write(ins, glsl_arithmetic(ins)) + "\n";
    } else {
      for (std::size_t k = i + 1; k < end; ++k) g += "  // " + list[k].text + "\n";
      g += "  {\n";
      for (std::size_t k = i; k < end; ++k)
        g += "    vec4 p" + std::to_string(k - i) + " = " + glsl_arithmetic(list[k]) + ";\n";
      for (std::size_t k = i; k < end; ++k) g += "    " + glsl_write(list[k], "p" + std::to_string(k - i)) + "\n";
      g += "  }\n";
    }
    i = end;
  }
  g += "  return r0;\n}\n";
  if (with_main) g += "\nout vec4 frag_colour;\nvoid main() { frag_colour = clamp(shade_pixel(), 0.0, 1.0); }\n";
  return g;
}

}  // namespace orvo
