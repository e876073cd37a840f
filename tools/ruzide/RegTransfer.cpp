#include "RegTransfer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "ExitStatus.h"
#include "Progress.h"
#include "RegKey.h"
#include "WholeFile.h"
#include "framework/registry_calls/Transaction.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace ruzide {
namespace tool {

namespace {

// The file being imported, read from the start as often as asked.
class Input {
 public:
  Input(const std::string& file, FILE* err) : file_(file), err_(err) {}
  ~Input() {
    if (in_ != nullptr && in_ != stdin) fclose(in_);
  }

  // Opens the file. Standard input is first copied to a temporary file: to be read
  // again for /strict, and because the import's transaction holds the store lock, which
  // must not wait on the program that writes the pipe. False, with errno set, on failure.
  bool Open() {
    in_ = file_ == "-" ? stdin : fopen(file_.c_str(), "rb");
    if (in_ == nullptr) return false;
#ifdef _WIN32
    if (in_ == stdin) _setmode(_fileno(stdin), _O_BINARY);  // UTF-16 and CRLF as they are
#endif
    if (in_ == stdin) {
      FILE* copy = tmpfile();
      if (copy == nullptr) return false;
      char buffer[65536];
      for (size_t n; (n = fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
        if (fwrite(buffer, 1, n, copy) != n) break;
      }
      in_ = copy;
      if (ferror(stdin) || ferror(copy) || fseek(copy, 0, SEEK_SET) != 0) return false;
    }
    struct stat status;
    if (fstat(fileno(in_), &status) == 0 && S_ISREG(status.st_mode)) {
      size_ = static_cast<uint64_t>(status.st_size);
    }
    return true;
  }

  // A reader from the start of the file, showing progress as `what`.
  std::unique_ptr<RegFileReader> Read(const char* what, int code_page) {
    if (done_ != 0 && fseek(in_, 0, SEEK_SET) != 0) error_ = errno;
    done_ = 0;
    progress_.reset(new Progress(err_, what + (" " + file_), size_));
    return std::unique_ptr<RegFileReader>(new RegFileReader(
        [this](char* buffer, size_t size) {
          const size_t n = error_ != 0 ? 0 : fread(buffer, 1, size, in_);
          if (n == 0 && ferror(in_)) error_ = errno != 0 ? errno : EIO;
          done_ += n;
          progress_->Update(done_);
          return n;
        },
        code_page));
  }

  // Writes a message for an entry, in place of the progress line.
  void Report(const RegFileEntry& entry, const char* outcome) {
    progress_->Clear();
    fprintf(err_, "%s:%d: %s%s\n", file_.c_str(), entry.line, entry.error.c_str(), outcome);
  }
  void EndProgress() { progress_.reset(); }
  // The error of a failed read, or 0.
  int error() const { return error_; }

 private:
  std::string file_;
  FILE* err_;
  FILE* in_ = nullptr;
  uint64_t size_ = 0;  // 0 when not known
  uint64_t done_ = 0;
  int error_ = 0;
  std::unique_ptr<Progress> progress_;
};

// Names every malformed entry of the file; true when there is none.
bool Validate(Input* input, const std::string& file, int code_page, FILE* err) {
  std::unique_ptr<RegFileReader> reader = input->Read("checking", code_page);
  RegFileEntry entry;
  int bad = 0;
  while (reader->Next(&entry)) {
    if (entry.error.empty()) continue;
    input->Report(entry, "");
    ++bad;
  }
  input->EndProgress();
  if (!reader->fatal().empty()) {
    Failure(err, file + ":" + std::to_string(reader->fatal_line()) + ": " + reader->fatal() +
                     "; nothing was imported");
    return false;
  }
  if (input->error() != 0) {
    Failure(err, "cannot read " + file + ": " + strerror(input->error()));
    return false;
  }
  if (bad == 0) return true;
  Failure(err, file + ": " + std::to_string(bad) + (bad == 1 ? " line is" : " lines are") +
                   " malformed; nothing was imported");
  return false;
}

// Applies a well-formed entry under `key`, the key of the last key entry (opened by it).
// On failure `what` says what could not be done.
LONG Apply(const RegFileEntry& entry, RegKey* key, RegPath* path, std::string* what) {
  if (entry.kind == RegFileEntry::kKey) {
    *path = entry.key.path;
    if (!entry.key.remove) {
      *what = "create " + path->Shown();
      return key->Create(*path);
    }
    RegPath failed;
    const LONG status = DeleteTree(*path, &failed);
    *what = "delete " + failed.Shown();
    // A key that is not there is as good as deleted.
    const bool absent = status == ERROR_FILE_NOT_FOUND && failed.sub == path->sub;
    return absent ? ERROR_SUCCESS : status;
  }
  const RegFileValue& value = entry.value;
  *what =
      (value.remove ? "delete " : "set ") + ValueLabel(value.value.name) + " of " + path->Shown();
  if (!value.remove) return key->Set(value.value);
  const LONG status = key->DeleteValue(value.value.name);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

int ImportRegFile(const std::string& file, int code_page, bool strict, FILE* err) {
  Input input(file, err);
  if (!input.Open()) return Failure(err, "cannot read " + file + ": " + strerror(errno));
  if (strict && !Validate(&input, file, code_page, err)) return kExitFailure;
  std::unique_ptr<RegFileReader> reader = input.Read("importing", code_page);
  // One commit for the whole file: other programs see all of it or none of it, and a
  // failure of the store itself rolls it all back.
  store::Transaction batch;
  RegKey key;
  RegPath path;
  RegFileEntry entry;
  int skipped = 0;
  while (reader->Next(&entry)) {
    if (!entry.error.empty()) {
      input.Report(entry, "; skipped");
      ++skipped;
      continue;
    }
    std::string what;
    const LONG status = Apply(entry, &key, &path, &what);
    if (status != ERROR_SUCCESS) {
      input.EndProgress();
      const LONG end = batch.Commit();
      return Failure(err, file + ":" + std::to_string(entry.line) + ": cannot " + what + ": " +
                              ErrorText(status) +
                              (end == ERROR_SUCCESS ? "; what comes before it was imported"
                                                    : "; nothing was imported"));
    }
  }
  input.EndProgress();
  if (!reader->fatal().empty() || input.error() != 0) {
    batch.Rollback();
    batch.Commit();
    const std::string why =
        reader->fatal().empty()
            ? "cannot read " + file + ": " + strerror(input.error())
            : file + ":" + std::to_string(reader->fatal_line()) + ": " + reader->fatal();
    return Failure(err, why + "; nothing was imported");
  }
  const LONG status = batch.Commit();
  if (status != ERROR_SUCCESS) {
    return Failure(err,
                   "cannot import " + file + ": " + ErrorText(status) + "; nothing was imported");
  }
  if (skipped > 0) {
    fprintf(err, "ruzide: %s: %d malformed %s skipped; the rest was imported\n", file.c_str(),
            skipped, skipped == 1 ? "line" : "lines");
  }
  return kExitOk;
}

namespace {

// Writes a tree of keys to a .reg file as it reads it.
class Exporter {
 public:
  Exporter(RegFileWriter* writer, FILE* err) : writer_(writer), progress_(err, "exporting", 0) {}

  // Writes the key at `path` and the keys below it. On failure `error` says why, or is
  // empty when the file could not be written (errno set).
  bool Write(const RegPath& path, std::string* error) {
    RegKey key;
    std::vector<std::string> subkeys;
    LONG status = key.Open(path, KEY_READ);
    if (status == ERROR_SUCCESS && !writer_->Key(path, false, error)) return false;
    bool written = true;
    if (status == ERROR_SUCCESS) {
      status = key.EachValue([&](const RegValue& value) {
        written = writer_->Value(RegFileValue{value, false}, error);
        return written ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
      });
    }
    if (!written) return false;
    if (status == ERROR_SUCCESS) status = key.Subkeys(&subkeys);
    if (status != ERROR_SUCCESS) {
      *error = "cannot read " + path.Shown() + ": " + ErrorText(status);
      return false;
    }
    for (const std::string& name : subkeys) {
      if (!Write(path.Child(name), error)) return false;
    }
    return true;
  }

  // Counts what is written.
  void Written(size_t bytes) { progress_.Update(done_ += bytes); }

 private:
  RegFileWriter* writer_;
  Progress progress_;
  uint64_t done_ = 0;
};

}  // namespace

int ExportRegTree(const RegPath& key, const std::string& file, RegDialect dialect, int code_page,
                  FILE* out, FILE* err) {
  RegKey top;  // a key that is not there writes nothing, not even to standard output
  const LONG status = top.Open(key, KEY_READ);
  if (status != ERROR_SUCCESS) {
    return Failure(err, "cannot read " + key.Shown() + ": " + ErrorText(status));
  }
  std::string error;
  const auto write = [&](FILE* to) {
    Exporter* exporter = nullptr;
    RegFileWriter writer(
        [&](const char* bytes, size_t size) {
          exporter->Written(size);
          return fwrite(bytes, 1, size, to) == size;
        },
        dialect, code_page);
    Exporter tree(&writer, err);
    exporter = &tree;
    return writer.Header(&error) && tree.Write(key, &error) && writer.Finish(&error);
  };
  bool written;
  if (file == "-") {
#ifdef _WIN32
    fflush(out);
    _setmode(_fileno(out), _O_BINARY);  // the file's own line ends, and UTF-16
#endif
    errno = 0;
    written = write(out) && fflush(out) == 0;
  } else {
    // The file is replaced only once all of it is written: a key that cannot be read or
    // written out leaves the old one as it was.
    written = WriteWholeFile(file, write);
  }
  if (written) return kExitOk;
  if (!error.empty()) return Failure(err, "cannot export: " + error);
  return Failure(err, "cannot write " + file + ": " + strerror(errno));
}

}  // namespace tool
}  // namespace ruzide
