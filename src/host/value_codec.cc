#include "host/value_codec.h"

#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace korimba {
namespace {

constexpr char kVersion = 0x01;
constexpr int kMaxDims = 60;
constexpr int kMaxDepth = 32;

template <typename T>
void PutLe(std::string& out, T value) {
  using U = std::make_unsigned_t<T>;
  U bits = static_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) {
    out += static_cast<char>(bits & 0xff);
    bits = static_cast<U>(bits >> 8);
  }
}

void PutSized(std::string& out, std::string_view bytes) {
  PutLe<uint32_t>(out, static_cast<uint32_t>(bytes.size()));
  out.append(bytes);
}

void Encode(std::string& out, const Variant& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, EmptyTag>) {
          out += 'E';
        } else if constexpr (std::is_same_v<T, NullTag>) {
          out += 'N';
        } else if constexpr (std::is_same_v<T, MissingTag>) {
          out += 'M';
        } else if constexpr (std::is_same_v<T, int16_t>) {
          out += 'h';
          PutLe<int16_t>(out, v);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          out += 'i';
          PutLe<int32_t>(out, v);
        } else if constexpr (std::is_same_v<T, float>) {
          out += 'f';
          PutLe<uint32_t>(out, std::bit_cast<uint32_t>(v));
        } else if constexpr (std::is_same_v<T, double>) {
          out += 'd';
          PutLe<uint64_t>(out, std::bit_cast<uint64_t>(v));
        } else if constexpr (std::is_same_v<T, Date>) {
          out += 't';
          PutLe<uint64_t>(out, std::bit_cast<uint64_t>(v.serial));
        } else if constexpr (std::is_same_v<T, bool>) {
          out += 'b';
          out += v ? '\1' : '\0';
        } else if constexpr (std::is_same_v<T, std::string>) {
          out += 's';
          PutSized(out, v);
        } else if constexpr (std::is_same_v<T, BytesBox>) {
          out += 'y';
          PutLe<int32_t>(out, v.bytes->lbound);
          PutSized(out, std::string_view(reinterpret_cast<const char*>(v.bytes->bytes.data()),
                                         v.bytes->bytes.size()));
        } else if constexpr (std::is_same_v<T, ArrayBox>) {
          if (v.array == nullptr) {
            out += 'x';
            return;
          }
          out += 'a';
          out += static_cast<char>(v.array->dims());
          for (const Bound& bound : v.array->bounds()) {
            PutLe<int32_t>(out, bound.lower);
            PutLe<int32_t>(out, bound.upper);
          }
          for (const Variant& cell : v.array->cells()) Encode(out, cell);
        } else {
          static_assert(std::is_same_v<T, ObjectRef>);
          ThrowTypeMismatch("an object cannot be kept outside the process that made it");
        }
      },
      value.storage());
}

// Reads one value at a time from the front of the data.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}

  bool AtEnd() const { return data_.empty(); }

  [[noreturn]] static void Damaged(const std::string& what) {
    throw AutomationError(kErrPageHost, "a stored value is damaged: " + what);
  }

  std::string_view Take(size_t n) {
    if (n > data_.size()) Damaged("it ends too soon");
    std::string_view taken = data_.substr(0, n);
    data_.remove_prefix(n);
    return taken;
  }

  template <typename T>
  T Le() {
    using U = std::make_unsigned_t<T>;
    std::string_view raw = Take(sizeof(T));
    U bits = 0;
    for (size_t i = sizeof(T); i-- > 0;) {
      bits = static_cast<U>((bits << 8) | static_cast<unsigned char>(raw[i]));
    }
    return static_cast<T>(bits);
  }

  std::string_view Sized() { return Take(Le<uint32_t>()); }

  Variant Value(int depth) {
    const char tag = Take(1)[0];
    switch (tag) {
      case 'E':
        return Variant();
      case 'N':
        return Variant::Null();
      case 'M':
        return Variant::Missing();
      case 'h':
        return Variant::I2(Le<int16_t>());
      case 'i':
        return Variant::I4(Le<int32_t>());
      case 'f':
        return Variant::R4(std::bit_cast<float>(Le<uint32_t>()));
      case 'd':
        return Variant::R8(std::bit_cast<double>(Le<uint64_t>()));
      case 't':
        return Variant::FromDate(Date{std::bit_cast<double>(Le<uint64_t>())});
      case 'b': {
        const char flag = Take(1)[0];
        if (flag != '\0' && flag != '\1') Damaged("a Boolean is neither 0 nor 1");
        return Variant::Bool(flag == '\1');
      }
      case 's':
        return Variant::Text(std::string(Sized()));
      case 'y': {
        ByteArray bytes;
        bytes.lbound = Le<int32_t>();
        std::string_view raw = Sized();
        bytes.bytes.assign(raw.begin(), raw.end());
        return Variant::Bytes(std::move(bytes));
      }
      case 'x':
        return Variant::NoArray();
      case 'a':
        return Array(depth);
      default:
        Damaged("unknown kind tag " + std::to_string(static_cast<unsigned char>(tag)));
    }
  }

 private:
  Variant Array(int depth) {
    if (depth >= kMaxDepth) Damaged("arrays nest too deep");
    const int dims = static_cast<unsigned char>(Take(1)[0]);
    if (dims < 1 || dims > kMaxDims)
      Damaged("an array has " + std::to_string(dims) + " dimensions");
    std::vector<Bound> bounds;
    int64_t cells = 1;
    for (int d = 0; d < dims; ++d) {
      Bound bound;
      bound.lower = Le<int32_t>();
      bound.upper = Le<int32_t>();
      if (bound.count() < 0) Damaged("an array bound ends before it starts");
      bounds.push_back(bound);
      // Every cell takes at least one byte: more cells than bytes left is
      // damage, caught before anything is allocated for them.
      // Checked before multiplying, so the product cannot overflow either.
      const int64_t left = static_cast<int64_t>(data_.size());
      if (bound.count() > 0 && cells > left / bound.count()) {
        Damaged("an array has more cells than data");
      }
      cells *= bound.count();
    }
    std::vector<Variant> values;
    values.reserve(static_cast<size_t>(cells));
    for (int64_t i = 0; i < cells; ++i) values.push_back(Value(depth + 1));
    return Variant::Array(std::make_shared<SafeArray>(std::move(bounds), std::move(values)));
  }

  std::string_view data_;
};

}  // namespace

std::string EncodeValue(const Variant& value) {
  std::string out(1, kVersion);
  Encode(out, value);
  return out;
}

Variant DecodeValue(std::string_view data) {
  Reader reader(data);
  if (reader.Take(1)[0] != kVersion) Reader::Damaged("unknown form version");
  Variant value = reader.Value(0);
  if (!reader.AtEnd()) Reader::Damaged("bytes follow the value");
  return value;
}

}  // namespace korimba
