#include "fx2/fx2_file_reader.h"

#include <cstring>
#include <stdexcept>

namespace fx2_test {

namespace {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  Fx2File Read() {
    if (bytes_.size() < 8 || bytes_.size() % 4 != 0) throw Failure("file size");
    if (FileDword(0) != 0xFEFF0901u) throw Failure("tag");
    uint32_t structure = FileDword(4);
    base_dwords_ = (bytes_.size() - 8) / 4;
    if (structure % 4 != 0 || structure / 4 > base_dwords_) throw Failure("structure offset");
    data_dwords_ = structure / 4;
    reached_.assign(data_dwords_, false);
    // The zero DWORD at base+0 is the format's "no string"; a file without
    // any typedef never points at it.
    if (data_dwords_ > 0 && FileDword(8) == 0) reached_[0] = true;
    position_ = structure / 4;

    Fx2File file;
    uint32_t parameters = Next();
    uint32_t techniques = Next();
    file.shader_count_field = Next();
    file.object_count = Next();
    for (uint32_t i = 0; i < parameters; ++i) {
      FileParameter p;
      uint32_t type = Next(), value = Next();
      p.flags = Next();
      uint32_t annotations = Next();
      p.value = ValueAt(type, value);
      for (uint32_t a = 0; a < annotations; ++a) p.annotations.push_back(Annotation());
      file.parameters.push_back(std::move(p));
    }
    for (uint32_t t = 0; t < techniques; ++t) {
      FileTechnique technique;
      technique.name = StringAt(Next());
      uint32_t annotations = Next(), passes = Next();
      for (uint32_t a = 0; a < annotations; ++a) technique.annotations.push_back(Annotation());
      for (uint32_t p = 0; p < passes; ++p) {
        FilePass pass;
        pass.name = StringAt(Next());
        uint32_t pass_annotations = Next(), states = Next();
        for (uint32_t a = 0; a < pass_annotations; ++a) pass.annotations.push_back(Annotation());
        for (uint32_t s = 0; s < states; ++s) pass.states.push_back(State());
        technique.passes.push_back(std::move(pass));
      }
      file.techniques.push_back(std::move(technique));
    }
    uint32_t objects = Next(), resources = Next();
    for (uint32_t i = 0; i < objects; ++i) {
      FileBlob blob;
      blob.id = Next();
      if (blob.id == 0 || blob.id >= file.object_count) throw Failure("object id out of range");
      blob.data = Payload();
      file.objects.push_back(std::move(blob));
    }
    for (uint32_t i = 0; i < resources; ++i) {
      FileResource r;
      r.technique = Next(), r.index = Next(), r.element = Next(), r.state = Next();
      r.usage = Next();
      r.data = Payload();
      file.resources.push_back(std::move(r));
    }
    if (position_ != base_dwords_) throw Failure("bytes after the last resource");
    file.data_dwords = data_dwords_;
    for (bool reached : reached_) file.data_dwords_reached += reached ? 1 : 0;
    return file;
  }

 private:
  uint32_t FileDword(size_t offset) const {
    uint32_t value;
    std::memcpy(&value, bytes_.data() + offset, 4);
    return value;
  }

  // Structure section, read in sequence.
  uint32_t Next() {
    if (position_ >= base_dwords_) throw Failure("structure section runs past the file");
    return FileDword(8 + 4 * position_++);
  }

  std::vector<uint8_t> Payload() {
    uint32_t size = Next();
    size_t padded = (size + 3u) / 4u;
    if (padded > base_dwords_ - position_) throw Failure("payload runs past the file");
    const uint8_t* start = bytes_.data() + 8 + 4 * position_;
    std::vector<uint8_t> data(start, start + size);
    for (size_t i = size; i < padded * 4; ++i) {
      if (start[i] != 0) throw Failure("payload padding is not zero");
    }
    position_ += padded;
    return data;
  }

  // Data area, reached by offset only.
  uint32_t DataDword(uint32_t offset) {
    if (offset % 4 != 0 || offset / 4 >= data_dwords_) throw Failure("offset outside data area");
    reached_[offset / 4] = true;
    return FileDword(8 + offset);
  }

  std::string StringAt(uint32_t offset) {
    uint32_t length = DataDword(offset);
    if (length == 0) return std::string();
    size_t dwords = (length + 3u) / 4u;
    std::string text;
    for (size_t i = 0; i < dwords; ++i) {
      uint32_t word = DataDword(offset + 4 + 4 * static_cast<uint32_t>(i));
      for (int b = 0; b < 4; ++b) {
        size_t at = i * 4 + b;
        char c = static_cast<char>(word >> (8 * b) & 0xFF);
        if (at + 1 < length) {
          if (c == 0) throw Failure("NUL inside a string");
          text.push_back(c);
        } else if (c != 0) {
          throw Failure(at + 1 == length ? "string without its NUL" : "string padding not zero");
        }
      }
    }
    return text;
  }

  FileTypedef TypedefAt(uint32_t offset) {
    FileTypedef t;
    t.type = DataDword(offset);
    t.klass = DataDword(offset + 4);
    t.name = StringAt(DataDword(offset + 8));
    t.semantic = StringAt(DataDword(offset + 12));
    t.elements = DataDword(offset + 16);
    if (t.klass == 1) {
      t.columns = DataDword(offset + 20);
      t.rows = DataDword(offset + 24);
    } else if (t.klass == 0 || t.klass == 2 || t.klass == 3) {
      t.rows = DataDword(offset + 20);
      t.columns = DataDword(offset + 24);
    } else if (t.klass != 4) {
      throw Failure("unknown class");
    }
    return t;
  }

  FileValue ValueAt(uint32_t type_offset, uint32_t value_offset) {
    FileValue v;
    v.type = TypedefAt(type_offset);
    uint32_t count = v.type.elements == 0 ? 1 : v.type.elements;
    if (v.type.klass == 4 && v.type.type >= 10 && v.type.type <= 14) {
      uint32_t at = value_offset;
      for (uint32_t e = 0; e < count; ++e) {
        uint32_t states = DataDword(at);
        at += 4;
        for (uint32_t s = 0; s < states; ++s) {
          FileState state;
          state.operation = DataDword(at);
          state.index = DataDword(at + 4);
          state.value = ValueAt(DataDword(at + 8), DataDword(at + 12));
          v.sampler.push_back(std::move(state));
          at += 16;
        }
      }
      return v;
    }
    uint32_t per_element = v.type.klass == 4 ? 1 : v.type.rows * v.type.columns;
    for (uint32_t i = 0; i < per_element * count; ++i) {
      v.dwords.push_back(DataDword(value_offset + 4 * i));
    }
    return v;
  }

  FileValue Annotation() {
    uint32_t type = Next(), value = Next();
    FileValue v = ValueAt(type, value);
    if (v.type.name.empty()) throw Failure("annotation without a name");
    return v;
  }

  FileState State() {
    FileState s;
    s.operation = Next();
    if (s.operation >= 179) throw Failure("operation out of the state table");
    s.index = Next();
    uint32_t type = Next(), value = Next();
    s.value = ValueAt(type, value);
    return s;
  }

  const std::vector<uint8_t>& bytes_;
  size_t base_dwords_ = 0;
  size_t data_dwords_ = 0;
  size_t position_ = 0;
  std::vector<bool> reached_;
};

}  // namespace

bool ReadFx2File(const std::vector<uint8_t>& bytes, Fx2File* file, std::string* error) {
  try {
    *file = Reader(bytes).Read();
    return true;
  } catch (const Failure& failure) {
    *error = failure.what();
    return false;
  }
}

std::string BlobText(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return "<not a string>";
  return std::string(data.begin(), data.end() - 1);
}

}  // namespace fx2_test
