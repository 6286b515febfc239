// The configuration file Cortevane.ini: where it is, how its bytes become lines, and what its
// lines say. The file names the host of each database server and the account paths of the
// laptop's bases and of the office bases:
//
//   [SERVEUR]                  the next line, less its first 8 characters, is the laptop's host
//   Serveur=localhost
//   [DISTANT SERVEUR]          the next line, less its first 9 characters, is the office host
//   Distant=bureau.example     (or "host[:port],host[:port]...": a primary and its standbys,
//                              of which the office store uses the one that takes writes)
//   [BASES]                    name=account path, one a line, up to a blank line
//   Portable=C:\KESTA\BASE
//
//   [DISTANT BASES]            name=account path; only the first entry's path is used
//   Bureau=kesta_bureau
//
// Everything here is a pure function of its input, so every rule is tested without files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/dyn_array.h"

namespace cortevane::connection {

struct Configuration {
  bool opened = false;                  // the file could be read
  std::string W_Serveur;                // laptop's database host
  std::string W_ServeurDistant;         // office database host
  db::DynArray W_Bases;                 // field i: account path of the i-th laptop base
  db::DynArray W_BasesDistantes;        // field i: value 1 account path, value 2 name
  std::vector<std::string> base_names;  // names of the laptop bases, in file order
  bool serveur_header = false;          // a "[SERVEUR]" line was met
  bool serveur_distant_header = false;  // a "[DISTANT SERVEUR]" line was met
};

// "c:\windows\Cortevane.ini", or "c:\winnt\Cortevane.ini" when there is no folder
// "c:\windows", mapped to this machine (platform/drive_mapping.h).
std::filesystem::path ConfigurationPath();

// The lines of the file's bytes, as UTF-8. The file is a Windows text file: lines end with
// CR LF (a lone LF or CR is accepted too), and its text is UTF-8 when it is valid UTF-8 (a
// byte-order mark is dropped), else the Windows Western code page (Latin-1 with the printable
// characters Windows puts at 0x80-0x9F).
std::vector<std::string> ConfigurationLines(std::string_view bytes);

// The lines of the file at `path`; nullopt when it cannot be read.
std::optional<std::vector<std::string>> ReadConfigurationFile(const std::filesystem::path& path);

// What the lines say; `opened` is true. Headers of the server sections are recognised with
// spaces around them, the bases headers only as the whole line, all case-sensitively.
// Characters are counted as characters, not bytes, when host lines are cut.
Configuration ParseConfiguration(const std::vector<std::string>& lines);

// The message that ends the program for this configuration, or empty when it can be used:
// unreadable file or a blank host name, then no laptop base or no office base.
std::string_view ConfigurationProblem(const Configuration& configuration);

// The second line of that message: which file, and what is wrong with it (missing,
// unreadable, a host line empty, a section missing). `file` is the path read; empty when the
// lines came from elsewhere. Empty when the configuration can be used.
std::string ConfigurationCause(const Configuration& configuration,
                               const std::filesystem::path& file);

inline constexpr std::string_view kServerProblem =
    "Problème dans le nom ou l'adresse IP d'un serveur";
inline constexpr std::string_view kMissingBase = "Base de données manquante.";

}  // namespace cortevane::connection
