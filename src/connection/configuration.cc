#include "connection/configuration.h"

#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/drive_mapping.h"

namespace cortevane::connection {
namespace {

// Spaces only, as the file's format has always meant; a tab is text.
std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsBlank(std::string_view s) { return TrimSpaces(s).empty(); }

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0.
size_t Utf8SequenceLength(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) return 1;
  size_t length;
  unsigned min;
  unsigned code;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, min = 0x80, code = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, min = 0x800, code = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, code = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsValidUtf8(std::string_view s) {
  while (!s.empty()) {
    const size_t n = Utf8SequenceLength(s);
    if (n == 0) return false;
    s.remove_prefix(n);
  }
  return true;
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Windows-1252 at 0x80-0x9F; the five undefined bytes keep their Latin-1 meaning.
constexpr unsigned kWindows1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

std::string FromWindows1252(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : b);
  }
  return out;
}

// `s` without its first `n` characters (UTF-8 sequences count as one); empty when shorter.
std::string DropCharacters(std::string_view s, int n) {
  for (int i = 0; i < n && !s.empty(); ++i) {
    const size_t length = Utf8SequenceLength(s);
    s.remove_prefix(length == 0 ? 1 : length);
  }
  return std::string(s);
}

}  // namespace

std::filesystem::path ConfigurationPath() {
  std::error_code ignored;
  if (std::filesystem::is_directory(platform::MapPath("c:\\windows"), ignored)) {
    return platform::MapPath("c:\\windows\\Cortevane.ini");
  }
  return platform::MapPath("c:\\winnt\\Cortevane.ini");
}

std::vector<std::string> ConfigurationLines(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const std::string text = IsValidUtf8(bytes) ? std::string(bytes) : FromWindows1252(bytes);

  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::optional<std::vector<std::string>> ReadConfigurationFile(const std::filesystem::path& path) {
  // Read with the C library: a stream throws on some read errors (a folder in the file's
  // place), and any failure here must only make the configuration unusable.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!in) return std::nullopt;
  std::string bytes;
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(in.get())) return std::nullopt;
  return ConfigurationLines(bytes);
}

// The file is read from the top, one line at a time. A blank line is skipped; any other line
// goes through the four header tests in order, each applied to the current line, so that a
// host line that is itself a header is also read as one (the format has always worked so).
//
// A list of bases ends at a blank line or at the end of the file. A line without "=" cannot
// be an entry: it ends the list too and is read again as an ordinary line, so a header
// written right after a list without the blank line still starts its section. A second
// "[BASES]" goes on numbering after the first, which keeps every name of the list in step with
// its account path. A second "[DISTANT BASES]" is numbered from 1 again and replaces the
// entries of the first: its names are never listed, so there is nothing to keep in step.
Configuration ParseConfiguration(const std::vector<std::string>& lines) {
  Configuration c;
  c.opened = true;
  // The lists are built once the file is read, entry after entry, so that a file of many
  // thousand entries is read in time linear in its size.
  db::DynArrayBuilder bases;
  std::vector<std::pair<std::string, std::string>> distant;  // path, name

  size_t next = 0;
  std::optional<std::string> again;  // a line that ended a list, to be read once more
  auto read = [&](std::string& line) {
    if (again) {
      line = std::move(*again);
      again.reset();
      return true;
    }
    if (next >= lines.size()) return false;
    line = lines[next++];
    return true;
  };
  // Reads one list entry into name and path; false at the end of the list.
  auto read_entry = [&](std::string& line, std::string& name, std::string& path) {
    if (!read(line) || IsBlank(line)) {
      line.clear();
      return false;
    }
    const size_t equal = line.find('=');
    if (equal == std::string::npos) {
      again = line;
      line.clear();
      return false;
    }
    name = line.substr(0, equal);
    path = line.substr(equal + 1);
    return true;
  };

  std::string line;
  while (read(line)) {
    if (IsBlank(line)) continue;
    if (TrimSpaces(line) == "[SERVEUR]") {
      c.serveur_header = true;
      if (!read(line)) line.clear();  // a header on the last line: no host
      c.W_Serveur = DropCharacters(line, 8);
    }
    if (TrimSpaces(line) == "[DISTANT SERVEUR]") {
      c.serveur_distant_header = true;
      if (!read(line)) line.clear();
      c.W_ServeurDistant = DropCharacters(line, 9);
    }
    std::string name;
    std::string path;
    if (line == "[BASES]") {
      while (read_entry(line, name, path)) {
        c.base_names.push_back(name);
        bases.AddField(path);
      }
    }
    if (line == "[DISTANT BASES]") {
      for (size_t i = 0; read_entry(line, name, path); ++i) {
        if (i < distant.size())
          distant[i] = {path, name};
        else
          distant.emplace_back(path, name);
      }
    }
  }
  c.W_Bases = bases.Take();
  db::DynArrayBuilder distant_bases;
  for (const auto& [path, name] : distant) {
    distant_bases.StartField();
    distant_bases.AddValue(path);
    distant_bases.AddValue(name);
  }
  c.W_BasesDistantes = distant_bases.Take();
  return c;
}

std::string_view ConfigurationProblem(const Configuration& c) {
  if (!c.opened || IsBlank(c.W_Serveur) || IsBlank(c.W_ServeurDistant)) return kServerProblem;
  if (c.W_Bases.Count() == 0 || c.W_BasesDistantes.Count() == 0) return kMissingBase;
  return {};
}

std::string ConfigurationCause(const Configuration& c, const std::filesystem::path& file) {
  const std::string named = file.empty() ? "le fichier de configuration"
                                         : "le fichier de configuration « " + file.string() + " »";
  auto in_file = [&](std::string_view what) { return "Dans " + named + ", " + std::string(what); };
  if (!c.opened) {
    std::error_code ec;
    const bool exists = !file.empty() && std::filesystem::exists(file, ec);
    return "L" + named.substr(1) + (exists ? " ne peut pas être lu." : " est introuvable.");
  }
  if (IsBlank(c.W_Serveur)) {
    return in_file(c.serveur_header ? "la ligne qui suit [SERVEUR] ne donne aucun nom de serveur."
                                    : "la section [SERVEUR] manque.");
  }
  if (IsBlank(c.W_ServeurDistant)) {
    return in_file(c.serveur_distant_header
                       ? "la ligne qui suit [DISTANT SERVEUR] ne donne aucun nom de serveur."
                       : "la section [DISTANT SERVEUR] manque.");
  }
  if (c.W_Bases.Count() == 0) return in_file("la section [BASES] manque ou ne donne aucune base.");
  if (c.W_BasesDistantes.Count() == 0)
    return in_file("la section [DISTANT BASES] manque ou ne donne aucune base.");
  return {};
}

}  // namespace cortevane::connection
