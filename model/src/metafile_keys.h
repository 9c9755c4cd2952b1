// The keys of the 3DA metafile's blocks, defined once for the reader and the
// writer. Each block has one table; each entry gives
//   - the key as the writer starts its line (two blanks, the key and the
//     blanks that line the values up; the reader looks the key up without
//     them and without regard to case),
//   - the kind of value: how it is read and how it is written (Int, Real<6>
//     for printf's "%f", Quoted for a text in double quotes, GeneratorLine<3>,
//     ...),
//   - when the writer writes the line: always, unless the value is zero, or
//     never (keys of older files that the reader still takes),
//   - the field of the block's record the value binds to, as a path of
//     members (&ModelMaterial::mapfunc_u, &Generator::style); kinds whose
//     value lives outside the record (the file version, the scale factor)
//     bind to none.
// The writer writes a table's lines in the table's order.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "orvo/model/base.h"
#include "orvo/model/metafile.h"
#include "orvo/model/model.h"

namespace orvo::metafile {

// ---------------------------------------------------------------------------
// What a value's reading and writing see besides the record.

class ValueReader {
 public:
  ValueReader(const LineReader& line, MetafileInfo& info) : line_(line), info_(info) {}

  std::string_view token(std::size_t i) const { return line_[i]; }
  int int_at(std::size_t i) const { return parse_int(line_[i]); }
  float real_at(std::size_t i) const { return static_cast<float>(parse_real(line_[i])); }
  MetafileInfo& info() { return info_; }
  // Files before version 2 wrote texture names without their extension.
  bool old_names() const { return info_.version < 2; }

  std::string_view key;  // the key being read, as its table spells it
  bool seen = false;     // a Seen key of the current block was read
  std::string refusal;   // why a value was refused

 private:
  const LineReader& line_;
  MetafileInfo& info_;
};

// printf's "%.Nf", in the C locale whatever the process locale is (a Qt
// program adopts the user's, which may write a decimal comma).
void put_fixed(std::string& out, double value, int decimals);

// A float truncated to an int as C does, kept defined for any value.
inline long long truncated(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return 2147483647;
  if (value <= -2147483648.0f) return -2147483648LL;
  return static_cast<long long>(value);
}

struct ValueWriter {
  std::string out;
  float scale_factor = 0;
  std::string_view username;

  void integer(long long value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
  }
  void real(double value, int decimals) { put_fixed(out, value, decimals); }
  void text(std::string_view value) { out += value; }
};

// ---------------------------------------------------------------------------
// Kinds of values. Each kind says which field type it binds to (`binds`),
// reads the line's tokens into the field (false refuses the value, with the
// reason in ValueReader::refusal), writes the field after the key and, when
// its lines may be left out, says when the field is zero.

struct Int {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, int32_t>;
  static bool read(int32_t& v, ValueReader& r) {
    v = r.int_at(1);
    return true;
  }
  static void write(int32_t v, ValueWriter& w) { w.integer(v); }
  static bool is_zero(int32_t v) { return v == 0; }
};

// An int whose line the block's end asks after (ValueReader::seen).
struct SeenInt : Int {
  static bool read(int32_t& v, ValueReader& r) {
    r.seen = true;
    return Int::read(v, r);
  }
};

// An int written as a constant, whatever the field holds.
template <int32_t kValue>
struct IntWrittenAs : Int {
  static void write(int32_t, ValueWriter& w) { w.integer(kValue); }
};

// An int that must lie in 0 to kMax.
template <int32_t kMax>
struct Count : Int {
  static bool read(int32_t& v, ValueReader& r) {
    const int n = r.int_at(1);
    if (n < 0 || n > kMax) {
      r.refusal = std::string(r.key) + " " + std::string(r.token(1)) + " is outside 0 to " + std::to_string(kMax);
      return false;
    }
    v = n;
    return true;
  }
};

// An int read as a switch: 1 when not 0, else 0.
struct OneIfSet {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, int32_t>;
  static bool read(int32_t& v, ValueReader& r) {
    v = r.int_at(1) != 0 ? 1 : 0;
    return true;
  }
};

// An int kept in 8 bits.
struct Byte {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, uint8_t>;
  static bool read(uint8_t& v, ValueReader& r) {
    v = static_cast<uint8_t>(r.int_at(1) & 0xFF);
    return true;
  }
  static void write(uint8_t v, ValueWriter& w) { w.integer(v); }
  static bool is_zero(uint8_t v) { return v == 0; }
};

// Three ints kept in 8 bits each, "%i %i %i"; zero when all three are.
struct Bytes3 {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, std::array<uint8_t, 3>>;
  static bool read(std::array<uint8_t, 3>& v, ValueReader& r) {
    for (std::size_t k = 0; k < 3; ++k) v[k] = static_cast<uint8_t>(r.int_at(1 + k) & 0xFF);
    return true;
  }
  static void write(const std::array<uint8_t, 3>& v, ValueWriter& w) {
    w.integer(v[0]);
    w.text(" ");
    w.integer(v[1]);
    w.text(" ");
    w.integer(v[2]);
  }
  static bool is_zero(const std::array<uint8_t, 3>& v) { return v[0] == 0 && v[1] == 0 && v[2] == 0; }
};

// A real written with kDecimals decimals (6: printf's "%f").
template <int kDecimals>
struct Real {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, float>;
  static bool read(float& v, ValueReader& r) {
    v = r.real_at(1);
    return true;
  }
  static void write(float v, ValueWriter& w) { w.real(v, kDecimals); }
};

// A real kept as a whole number: read as an int, written truncated, "%i".
struct WholeReal {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, float>;
  static bool read(float& v, ValueReader& r) {
    v = static_cast<float>(r.int_at(1));
    return true;
  }
  static void write(float v, ValueWriter& w) { w.integer(truncated(v)); }
};

// When a texture name without extension gets ".pcx" on reading.
enum class Pcx : uint8_t {
  kNever,
  kAlways,
  kInOldFiles,              // files before version 2
  kInOldFilesUnlessNoName,  // files before version 2, except the name "NoName"
};

template <class T>
inline constexpr bool kIsFixedString = false;
template <std::size_t N>
inline constexpr bool kIsFixedString<FixedString<N>> = true;

// A text copied as it stands (cut to the field's width), "%s".
template <Pcx kPcx = Pcx::kNever>
struct Word {
  template <class T>
  static constexpr bool binds = kIsFixedString<T>;
  template <std::size_t N>
  static bool read(FixedString<N>& v, ValueReader& r) {
    const std::string_view text = r.token(1);
    bool pcx = false;
    if constexpr (kPcx != Pcx::kNever) {
      if (text.find('.') == std::string_view::npos) {
        if constexpr (kPcx == Pcx::kAlways) pcx = true;
        if constexpr (kPcx == Pcx::kInOldFiles) pcx = r.old_names();
        if constexpr (kPcx == Pcx::kInOldFilesUnlessNoName) pcx = r.old_names() && text != "NoName";
      }
    }
    if (pcx) {
      v = std::string(text) + ".pcx";
    } else {
      v = text;
    }
    return true;
  }
  template <std::size_t N>
  static void write(const FixedString<N>& v, ValueWriter& w) {
    w.text(v.view());
  }
};

// A text in double quotes, "\"%s\"".
template <Pcx kPcx = Pcx::kNever>
struct Quoted : Word<kPcx> {
  template <std::size_t N>
  static void write(const FixedString<N>& v, ValueWriter& w) {
    w.text("\"");
    w.text(v.view());
    w.text("\"");
  }
};

// The start or the end colour of a colour generator, "%i %i %i".
template <bool kStart>
struct Colour {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, ColorGenerator>;
  static bool read(ColorGenerator& g, ValueReader& r) {
    int32_t* c[3] = {&g.end_red, &g.end_green, &g.end_blue};
    if constexpr (kStart) {
      c[0] = &g.start_red;
      c[1] = &g.start_green;
      c[2] = &g.start_blue;
    }
    for (std::size_t k = 0; k < 3; ++k) *c[k] = r.int_at(1 + k);
    return true;
  }
  static void write(const ColorGenerator& g, ValueWriter& w) {
    w.integer(kStart ? g.start_red : g.end_red);
    w.text(" ");
    w.integer(kStart ? g.start_green : g.end_green);
    w.text(" ");
    w.integer(kStart ? g.start_blue : g.end_blue);
  }
};
using ColourStart = Colour<true>;
using ColourEnd = Colour<false>;

// A whole generator on one line: style, start, end, rate, phase (reals with
// kDecimals decimals) and the control register name. Note the order, which
// differs from the generator's own (style, rate, phase, start, end).
template <int kDecimals>
struct GeneratorLine {
  template <class T>
  static constexpr bool binds = std::is_same_v<T, Generator>;
  static bool read(Generator& g, ValueReader& r) {
    g.style = r.int_at(1);
    g.start = r.real_at(2);
    g.end = r.real_at(3);
    g.rate = r.real_at(4);
    g.phase = r.real_at(5);
    g.ctrlreg = r.token(6);
    return true;
  }
  static void write(const Generator& g, ValueWriter& w) {
    w.integer(g.style);
    for (const float v : {g.start, g.end, g.rate, g.phase}) {
      w.text(" ");
      w.real(v, kDecimals);
    }
    w.text(" ");
    w.text(g.ctrlreg.view());
  }
};

// Kinds whose value lives outside the record; they bind to no field.
struct NoField {
  template <class T>
  static constexpr bool binds = true;
};

// The file's format version; the writer writes its own.
struct FileVersion : NoField {
  template <class T>
  static bool read(T&, ValueReader& r) {
    r.info().version = r.int_at(1);
    return true;
  }
  template <class T>
  static void write(const T&, ValueWriter& w) {
    w.integer(kMetafileVersion);
  }
};

// The tool's scale factor, a finite positive real, "%f". Anything else
// would collapse or blow up every position of the model.
struct ScaleFactor : NoField {
  template <class T>
  static bool read(T&, ValueReader& r) {
    // Texts that are no number, not finite or out of range read as 0 and are
    // refused with the rest.
    const float scale = r.real_at(1);
    if (!std::isfinite(scale) || !(scale > 0.0f)) {
      r.refusal = std::string(r.key) + " \"" + std::string(r.token(1)) + "\" is not a finite positive number";
      return false;
    }
    r.info().has_scale = true;
    r.info().scale_factor = scale;
    return true;
  }
  template <class T>
  static void write(const T&, ValueWriter& w) {
    w.real(w.scale_factor, 6);
  }
};

// Who saved the file: written, not kept.
struct UserName : NoField {
  template <class T>
  static bool read(T&, ValueReader&) {
    return true;
  }
  template <class T>
  static void write(const T&, ValueWriter& w) {
    w.text(w.username);
  }
};

// A flag set by the line's presence, written "TRUE".
struct DiffuseSet : NoField {
  template <class T>
  static bool read(T&, ValueReader& r) {
    r.info().diffuse_set = true;
    return true;
  }
  template <class T>
  static void write(const T&, ValueWriter& w) {
    w.text("TRUE");
  }
};

// ---------------------------------------------------------------------------
// Table entries.

// The field at the end of a path of members (the record itself for none).
template <class T>
constexpr T& follow(T& record) {
  return record;
}
template <auto kHead, auto... kTail, class T>
constexpr auto& follow(T& record) {
  return follow<kTail...>(record.*kHead);
}

template <class R>
struct Key {
  std::string_view label;  // the line's start as written
  std::string_view name;   // the key: the label without its blanks
  // Reads the line's value into the record; null for a key whose value is
  // skipped. False refuses the line.
  bool (*read)(R&, ValueReader&);
  // Writes the key's line, or nothing when its value is zero and the key is
  // written only otherwise; null for a key that is never written.
  void (*write)(const Key&, const R&, ValueWriter&);
};

constexpr std::string_view without_blanks(std::string_view label) {
  const std::size_t first = label.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return label.substr(first, label.find_last_not_of(' ') + 1 - first);
}

template <class Kind, class R, auto... kPath>
bool read_value(R& record, ValueReader& r) {
  return Kind::read(follow<kPath...>(record), r);
}

template <class Kind, bool kUnlessZero, class R, auto... kPath>
void write_line(const Key<R>& key, const R& record, ValueWriter& w) {
  const auto& value = follow<kPath...>(record);
  if constexpr (kUnlessZero) {
    if (Kind::is_zero(value)) return;
  }
  w.text(key.label);
  Kind::write(value, w);
  w.text("\n");
}

// Builds the entries of a block whose record is R.
template <class R>
struct KeysOf {
  template <class Kind, auto... kPath>
  static constexpr void check_binding() {
    using Field = std::remove_cvref_t<decltype(follow<kPath...>(std::declval<R&>()))>;
    static_assert(Kind::template binds<Field>, "the kind of value does not fit the field it binds to");
  }
  // Written always.
  template <class Kind, auto... kPath>
  static constexpr Key<R> key(std::string_view label) {
    check_binding<Kind, kPath...>();
    return {label, without_blanks(label), &read_value<Kind, R, kPath...>, &write_line<Kind, false, R, kPath...>};
  }
  // Written when the value is not zero.
  template <class Kind, auto... kPath>
  static constexpr Key<R> unless_zero(std::string_view label) {
    check_binding<Kind, kPath...>();
    return {label, without_blanks(label), &read_value<Kind, R, kPath...>, &write_line<Kind, true, R, kPath...>};
  }
  // Read, never written.
  template <class Kind, auto... kPath>
  static constexpr Key<R> read_only(std::string_view name) {
    check_binding<Kind, kPath...>();
    return {name, name, &read_value<Kind, R, kPath...>, nullptr};
  }
  // Known, skipped, never written.
  static constexpr Key<R> ignored(std::string_view name) { return {name, name, nullptr, nullptr}; }
};

// The entry of `name` (compared without regard to case), or null.
template <class R>
const Key<R>* find_key(std::span<const Key<R>> keys, std::string_view name) {
  for (const Key<R>& k : keys) {
    if (k.name.size() == name.size() && iequals(k.name, name)) return &k;
  }
  return nullptr;
}

// Writes every line of `keys` for `record`, in the table's order.
template <class R>
void write_keys(std::span<const Key<R>> keys, const R& record, ValueWriter& w) {
  for (const Key<R>& k : keys) {
    if (k.write != nullptr) k.write(k, record, w);
  }
}

// ---------------------------------------------------------------------------
// The tables.

using G = KeysOf<Model>;
inline constexpr Key<Model> kGeneralKeys[] = {
    G::key<FileVersion>("  3da_version "),
    G::key<IntWrittenAs<2>, &Model::version_3di>("  3di_version "),
    G::key<UserName>("  username    "),
    G::key<Int, &Model::attributes>("  attributes: "),
    G::key<Word<>, &Model::render_function>("  render_function "),
    G::key<Real<6>, &Model::threshold>("  threshold "),
    G::key<Count<kMaxMaterials>, &Model::num_materials>("  num_materials "),
    G::key<ScaleFactor>("  scale_factor "),
    G::key<DiffuseSet>("  diffuse_set  "),
    G::key<Int, &Model::pm_enable>("  pm_enable     "),
    G::key<Int, &Model::pm_polythresh>("  pm_polythresh "),
    G::key<Int, &Model::part_anim_enable>("  part_anim_enable "),
    G::key<Int, &Model::fakeskin_z>("  fakeskin_z "),
    G::key<Int, &Model::polycollision>("  polycollision "),
};

using M = KeysOf<ModelMaterial>;
using MM = ModelMaterial;
inline constexpr Key<ModelMaterial> kMaterialKeys[] = {
    M::key<Quoted<Pcx::kInOldFilesUnlessNoName>, &MM::name>("  name "),
    M::key<Quoted<>, &MM::description>("  description "),
    M::ignored("attributes"),
    M::unless_zero<Int, &MM::render_attributes>("  render_attributes "),
    M::unless_zero<Int, &MM::multitexture_flags>("  multitexture_flags "),
    M::unless_zero<Int, &MM::physical_attributes>("  physical_attributes "),
    M::key<Int, &MM::color_type>("  color_type "),
    M::unless_zero<Int, &MM::alpha_type>("  alpha_type "),
    M::unless_zero<Int, &MM::blending_mode>("  blending_mode "),
    M::key<Quoted<Pcx::kAlways>, &MM::green_texture>("  green_texture "),
    M::key<Quoted<Pcx::kInOldFiles>, &MM::alpha_texture>("  alpha_texture "),
    M::read_only<Word<Pcx::kAlways>, &MM::alpha_texture>("default_texture"),
    M::ignored("brown_texture"),
    M::ignored("white_texture"),
    M::unless_zero<Bytes3, &MM::color_green>("  color_green "),
    M::ignored("color_brown"),
    M::ignored("color_white"),
    M::unless_zero<Bytes3, &MM::color_alpha>("  color_alpha "),
    M::unless_zero<Int, &MM::luminosity>("  luminosity "),
    M::unless_zero<Int, &MM::transparency>("  transparency "),
    M::unless_zero<Int, &MM::specular_intensity>("  specular_intensity "),
    M::unless_zero<Int, &MM::specular_sharpness>("  specular_sharpness "),
    M::unless_zero<Int, &MM::anim_frames>("  anim_frames "),
    M::unless_zero<Int, &MM::anim_time>("  anim_time "),
    M::unless_zero<Int, &MM::anim_sequence>("  anim_sequence "),
    M::unless_zero<Byte, &MM::alpha_test>("  alpha_test "),
    M::key<Real<6>, &MM::u_offset>("  u_offset "),
    M::key<Real<6>, &MM::v_offset>("  v_offset "),
    M::key<Real<6>, &MM::u_tiling>("  u_tiling "),
    M::key<Real<6>, &MM::v_tiling>("  v_tiling "),
    M::key<SeenInt, &MM::use_alpha_pcx>("  use_alpha_pcx "),
    M::key<Int, &MM::mapfunc_u, &Generator::style>("  mapfunc_u_style  "),
    M::key<Real<6>, &MM::mapfunc_u, &Generator::rate>("  mapfunc_u_rate   "),
    M::key<Real<6>, &MM::mapfunc_u, &Generator::start>("  mapfunc_u_start  "),
    M::key<Real<6>, &MM::mapfunc_u, &Generator::end>("  mapfunc_u_end    "),
    M::key<Real<6>, &MM::mapfunc_u, &Generator::phase>("  mapfunc_u_phase  "),
    M::key<Word<>, &MM::mapfunc_u, &Generator::ctrlreg>("  mapfunc_u_ctrlreg "),
    M::key<Int, &MM::mapfunc_v, &Generator::style>("  mapfunc_v_style  "),
    M::key<Real<6>, &MM::mapfunc_v, &Generator::rate>("  mapfunc_v_rate   "),
    M::key<Real<6>, &MM::mapfunc_v, &Generator::start>("  mapfunc_v_start  "),
    M::key<Real<6>, &MM::mapfunc_v, &Generator::end>("  mapfunc_v_end    "),
    M::key<Real<6>, &MM::mapfunc_v, &Generator::phase>("  mapfunc_v_phase  "),
    M::key<Word<>, &MM::mapfunc_v, &Generator::ctrlreg>("  mapfunc_v_ctrlreg "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::style>("  rgbgen_style  "),
    M::key<Real<6>, &MM::rgbgen, &ColorGenerator::rate>("  rgbgen_rate   "),
    M::key<Real<6>, &MM::rgbgen, &ColorGenerator::phase>("  rgbgen_phase  "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::start_red>("  rgbgen_sr     "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::start_green>("  rgbgen_sg     "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::start_blue>("  rgbgen_sb     "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::end_red>("  rgbgen_er     "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::end_green>("  rgbgen_eg     "),
    M::key<Int, &MM::rgbgen, &ColorGenerator::end_blue>("  rgbgen_eb     "),
    M::key<Word<>, &MM::rgbgen, &ColorGenerator::ctrlreg>("  rgbgen_ctrlreg "),
    M::key<Int, &MM::alphagen, &Generator::style>("  alphagen_style  "),
    M::key<Real<6>, &MM::alphagen, &Generator::rate>("  alphagen_rate   "),
    M::key<WholeReal, &MM::alphagen, &Generator::start>("  alphagen_start  "),
    M::key<WholeReal, &MM::alphagen, &Generator::end>("  alphagen_end    "),
    M::key<Real<6>, &MM::alphagen, &Generator::phase>("  alphagen_phase  "),
    M::key<Word<>, &MM::alphagen, &Generator::ctrlreg>("  alphagen_ctrlreg "),
    M::key<Int, &MM::reflect_r>("  reflect_r    "),
    M::key<Int, &MM::reflect_g>("  reflect_g    "),
    M::key<Int, &MM::reflect_b>("  reflect_b    "),
    M::key<Int, &MM::reflect_type>("  reflect_type "),
    M::key<Int, &MM::reflect_alpha>("  reflect_alpha "),
    M::key<Int, &MM::actionplane_type>("  actionplane_type     "),
    M::key<Int, &MM::projector_type>("  projector_type       "),
    M::key<Int, &MM::projector_no_receive>("  projector_no_receive "),
    M::key<Int, &MM::projector_yaw>("  projector_yaw       "),
    M::key<Int, &MM::projector_pitch>("  projector_pitch     "),
    M::read_only<OneIfSet, &MM::shader_type>("bump_alpha"),
    M::key<Int, &MM::shader_type>("  shader_type         "),
};

using P = KeysOf<PartAnimation>;
inline constexpr Key<PartAnimation> kPartAnimationKeys[] = {
    P::key<Int, &PartAnimation::rotate_type>("  rotate_type  "),
    P::key<Int, &PartAnimation::scale_type>("  scale_type   "),
    P::key<Int, &PartAnimation::transform_as>("  transform_as "),
    P::ignored("attach"),
    P::key<Real<6>, &PartAnimation::yaw_rate>("  yaw_rate     "),
    P::key<Real<6>, &PartAnimation::pitch_rate>("  pitch_rate   "),
    P::key<Real<6>, &PartAnimation::roll_rate>("  roll_rate    "),
    P::key<GeneratorLine<3>, &PartAnimation::yaw_func>("  yaw_func     "),
    P::key<GeneratorLine<3>, &PartAnimation::pitch_func>("  pitch_func   "),
    P::key<GeneratorLine<3>, &PartAnimation::roll_func>("  roll_func    "),
    P::key<Int, &PartAnimation::reverserotate>("  reverserotate    "),
    P::key<GeneratorLine<3>, &PartAnimation::scale_func>("  scale_func   "),
    P::key<GeneratorLine<3>, &PartAnimation::scalex_func>("  scalex_func   "),
    P::key<GeneratorLine<3>, &PartAnimation::scaley_func>("  scaley_func   "),
    P::key<GeneratorLine<3>, &PartAnimation::scalez_func>("  scalez_func   "),
};

// "ambientlight" and "directlight": a colour generator without a control
// register.
using A = KeysOf<ColorGenerator>;
inline constexpr Key<ColorGenerator> kLightGeneratorKeys[] = {
    A::key<Int, &ColorGenerator::style>("  colorgen_style  "),
    A::key<Real<6>, &ColorGenerator::rate>("  colorgen_rate   "),
    A::key<Real<6>, &ColorGenerator::phase>("  colorgen_phase  "),
    A::key<ColourStart>("  colorgen_start  "),
    A::key<ColourEnd>("  colorgen_end    "),
};

// "light": a point light's name and colour generator.
using L = KeysOf<MetafileInfo::Light>;
using LL = MetafileInfo::Light;
inline constexpr Key<MetafileInfo::Light> kLightKeys[] = {
    L::key<Quoted<>, &LL::name>("  name             "),
    L::key<Int, &LL::colorgen, &ColorGenerator::style>("  colorgen_style   "),
    L::key<Real<6>, &LL::colorgen, &ColorGenerator::rate>("  colorgen_rate    "),
    L::key<Real<6>, &LL::colorgen, &ColorGenerator::phase>("  colorgen_phase   "),
    L::key<ColourStart, &LL::colorgen>("  colorgen_start   "),
    L::key<ColourEnd, &LL::colorgen>("  colorgen_end     "),
    L::key<Word<>, &LL::colorgen, &ColorGenerator::ctrlreg>("  colorgen_ctrlreg "),
};

}  // namespace orvo::metafile
