// An independent reader of compiled fx_2_0 files for the tests, written from
// the format notes alone (it shares no code with the writer). It checks every
// offset and count against the file, walks the structure section to the last
// byte and records which DWORDs of the data area were reached, so a test can
// show that a written file holds nothing unreferenced and nothing beyond.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fx2_test {

struct FileTypedef {
  uint32_t type = 0;
  uint32_t klass = 0;
  std::string name;
  std::string semantic;
  uint32_t elements = 0;
  uint32_t rows = 0;
  uint32_t columns = 0;
};

struct FileState;

struct FileValue {
  FileTypedef type;
  std::vector<uint32_t> dwords;    // numeric values and object ids
  std::vector<FileState> sampler;  // the states of a sampler block
};

struct FileState {
  uint32_t operation = 0;
  uint32_t index = 0;
  FileValue value;
};

struct FileParameter {
  FileValue value;
  uint32_t flags = 0;
  std::vector<FileValue> annotations;
};

struct FilePass {
  std::string name;
  std::vector<FileValue> annotations;
  std::vector<FileState> states;
};

struct FileTechnique {
  std::string name;
  std::vector<FileValue> annotations;
  std::vector<FilePass> passes;
};

struct FileBlob {
  uint32_t id = 0;
  std::vector<uint8_t> data;
};

struct FileResource {
  uint32_t technique = 0;
  uint32_t index = 0;
  uint32_t element = 0;
  uint32_t state = 0;
  uint32_t usage = 0;
  std::vector<uint8_t> data;
};

struct Fx2File {
  uint32_t shader_count_field = 0;
  uint32_t object_count = 0;
  std::vector<FileParameter> parameters;
  std::vector<FileTechnique> techniques;
  std::vector<FileBlob> objects;
  std::vector<FileResource> resources;
  size_t data_dwords = 0;
  size_t data_dwords_reached = 0;  // distinct data-area DWORDs some offset led to
};

// False with a message on the first inconsistency; the structure section
// must end exactly at the end of the file.
bool ReadFx2File(const std::vector<uint8_t>& bytes, Fx2File* file, std::string* error);

std::string BlobText(const std::vector<uint8_t>& data);

}  // namespace fx2_test
