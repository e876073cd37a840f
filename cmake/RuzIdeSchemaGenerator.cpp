// Writes the settings schema of one declared tree: the generator that
// ruzide_add_settings_schema (RuzIdeSettingsSchema.cmake) builds for each schema, with
// the application's header and tree expression compiled in, and runs at build time.
//
//   <generator> <schema file> <schema name> <code page> [<summaries file>]
//
// The schema is what the framework's tree walk gives, so it cannot drift from the
// declaration; docs/declaring-settings.md describes the format.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include RUZIDE_SCHEMA_HEADER

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Bytes as the schema keeps text: printable ASCII as it is, a backslash doubled, every
// other byte as \xNN, so that a schema is ASCII whatever the code page.
std::string Escaped(const char* text, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c <= 0x7E) {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

struct Context {
  FILE* out;
  int code_page;
  std::map<std::string, std::string>* summaries;  // by lower-case setting name
};

void Visit(const ruzide::decl::ValueInfo& v, void* context) {
  auto* c = static_cast<Context*>(context);
  fprintf(c->out, "\n[%s]\nkey = %s\nvalue = %s\ntype = %s\n",
          Escaped(v.strSetting, strlen(v.strSetting)).c_str(),
          Escaped(v.strKey, strlen(v.strKey)).c_str(),
          Escaped(v.strValueName, strlen(v.strValueName)).c_str(), v.pszType);
  switch (v.kind) {
    case ruzide::decl::kKindInt:
    case ruzide::decl::kKindSignedInt:
    case ruzide::decl::kKindQword:
      fprintf(c->out, "default = %lld\nmin = %lld\nmax = %lld\ncompare = %s\n", v.nDefault, v.nMin,
              v.nMax, v.bSignedBounds ? "signed" : "unsigned");
      break;
    case ruzide::decl::kKindString:
    case ruzide::decl::kKindExpandString:
      fprintf(c->out, "default = %s\ncode_page = %d\n",
              Escaped(v.strDefault, strlen(v.strDefault)).c_str(), c->code_page);
      break;
    case ruzide::decl::kKindStringList:
      fprintf(c->out, "code_page = %d\n", c->code_page);
      break;
    case ruzide::decl::kKindBinary:
      fprintf(c->out, "size = %d\n", static_cast<CRegDeclBinary*>(v.pValue)->m_nBufferSize);
      break;
  }
  auto summary = c->summaries->find(Lower(v.strSetting.GetString()));
  if (summary != c->summaries->end()) {
    fprintf(c->out, "summary = %s\n",
            Escaped(summary->second.data(), summary->second.size()).c_str());
    c->summaries->erase(summary);
  }
}

// The summaries file: `<setting> = <one line>` per line; blank lines and lines starting
// with # are skipped.
bool ReadSummaries(const char* path, std::map<std::string, std::string>* out) {
  FILE* in = fopen(path, "rb");
  if (!in) {
    fprintf(stderr, "%s: cannot open: %s\n", path, strerror(errno));
    return false;
  }
  char line[4096];
  for (int number = 1; fgets(line, sizeof line, in); ++number) {
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#') continue;
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
      fprintf(stderr, "%s:%d: expected '<setting> = <summary>'\n", path, number);
      fclose(in);
      return false;
    }
    (*out)[Lower(Trim(text.substr(0, eq)))] = Trim(text.substr(eq + 1));
  }
  fclose(in);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    fprintf(stderr, "usage: %s <schema file> <schema name> <code page> [<summaries>]\n", argv[0]);
    return 2;
  }
  std::map<std::string, std::string> summaries;
  if (argc == 5 && !ReadSummaries(argv[4], &summaries)) return 1;
  auto&& tree = (RUZIDE_SCHEMA_TREE);
  CRegDeclHive& hive = tree;
  // Written beside, then renamed, so that a failed run leaves no half schema behind.
  const std::string temp = std::string(argv[1]) + ".tmp";
  FILE* out = fopen(temp.c_str(), "wb");
  if (!out) {
    fprintf(stderr, "%s: cannot create: %s\n", temp.c_str(), strerror(errno));
    return 1;
  }
  const CString base = ruzide::decl::TreeBase(hive);
  fprintf(out,
          "# RuzIde settings schema, generated from the declaration at build time.\n"
          "[schema]\nname = %s\nroot = %s\nbase = %s\n",
          argv[2], ruzide::decl::RootName(hive.m_hRootKey).GetString(),
          Escaped(base, strlen(base)).c_str());
  Context context{out, atoi(argv[3]), &summaries};
  ruzide::decl::WalkTree(hive, Visit, &context);
  const bool written = fclose(out) == 0;
  if (!summaries.empty()) {
    fprintf(stderr, "%s: a summary for '%s', which the tree does not declare\n", argv[2],
            summaries.begin()->first.c_str());
  }
  remove(argv[1]);
  if (!written || !summaries.empty() || rename(temp.c_str(), argv[1]) != 0) {
    remove(temp.c_str());
    if (summaries.empty()) fprintf(stderr, "%s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
