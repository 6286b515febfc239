// Sample data for a server account: see sample_data.h.
#include "db/sample_data.h"

#include <array>
#include <string_view>

#include "db/dictionary.h"
#include "db/dyn_array.h"
#include "db/status.h"
#include "db/store.h"

namespace cortevane::db::sample {
namespace {

// splitmix64: small, fast, and the same numbers on every platform and compiler (the standard
// library's distributions are not), which is what "same seed, same data" needs.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }
  // Leaning towards the start of a list: the smaller of two draws, so early entries of a
  // name list (the common names) come up more often, as they do in life.
  uint32_t Skewed(uint32_t n) { return std::min(Below(n), Below(n)); }
  bool Percent(uint32_t p) { return Below(100) < p; }
  template <size_t N>
  std::string_view Pick(const std::array<std::string_view, N>& list) {
    return list[Below(static_cast<uint32_t>(N))];
  }

 private:
  uint64_t state_;
};

constexpr std::array<std::string_view, 120> kSurnames = {
    "MARTIN",       "BERNARD",   "DUPONT",   "THOMAS",   "PETIT",    "ROBERT",    "RICHARD",
    "DURAND",       "DUBOIS",    "MOREAU",   "LAURENT",  "SIMON",    "MICHEL",    "LEFÈVRE",
    "LEROY",        "ROUX",      "DAVID",    "BERTRAND", "MOREL",    "FOURNIER",  "GIRARD",
    "DUPUIS",       "LE GALL",   "ANDRÉ",    "MERCIER",  "BLANC",    "GUÉRIN",    "BOYER",
    "GARNIER",      "CHEVALIER", "FRANÇOIS", "LEGRAND",  "GAUTHIER", "PERRIN",    "ROBIN",
    "CLÉMENT",      "MORIN",     "NICOLAS",  "HENRY",    "ROUSSEL",  "MATHIEU",   "DUPRÉ",
    "MASSON",       "MARCHAND",  "DUVAL",    "DENIS",    "DUMONT",   "MARIE",     "LEMAIRE",
    "NOËL",         "MEYER",     "DUFOUR",   "MEUNIER",  "BRUN",     "BLANCHARD", "GIRAUD",
    "JOLY",         "RIVIÈRE",   "LUCAS",    "BRUNET",   "GAILLARD", "BARBIER",   "ARNAUD",
    "GÉRARD",       "ROCHE",     "RENARD",   "SCHMITT",  "ROY",      "LEROUX",    "COLIN",
    "VIDAL",        "CARON",     "PICARD",   "ROGER",    "FABRE",    "AUBERT",    "LEMOINE",
    "RENAUD",       "DUMAS",     "LACROIX",  "OLIVIER",  "PHILIPPE", "BOURGEOIS", "PIERRE",
    "BENOÎT",       "REY",       "LECLERC",  "PAYET",    "ROLLAND",  "LE ROUX",   "DUPUY",
    "GUILLAUME",    "LECOMTE",   "HUBERT",   "BERGER",   "DUPOND",   "LE GOFF",   "MÉNARD",
    "PRÉVOST",      "LÉGER",     "BOUVIER",  "LÉVÊQUE",  "BARRÉ",    "LEBRUN",    "HERVÉ",
    "DUPIN",        "TANGUY",    "LE BIHAN", "KERVELLA", "GUÉGUEN",  "JÉGOU",     "CORRE",
    "MADEC",        "QUÉRÉ",     "HÉMERY",   "L'HOSTIS", "BOUGEARD", "DUPAS",     "ÉTIENNE",
    "MARTIN-DUBOIS"};

struct FirstName {
  std::string_view name;
  bool woman;
};

constexpr std::array<FirstName, 64> kFirstNames = {{
    {"Marie", true},         {"Jean", false},        {"Jeanne", true},      {"Pierre", false},
    {"Françoise", true},     {"Michel", false},      {"Monique", true},     {"André", false},
    {"Hélène", true},        {"Louis", false},       {"Thérèse", true},     {"René", false},
    {"Geneviève", true},     {"Joseph", false},      {"Marguerite", true},  {"François", false},
    {"Madeleine", true},     {"Jacques", false},     {"Odette", true},      {"Bernard", false},
    {"Yvonne", true},        {"Yves", false},        {"Anne", true},        {"Gérard", false},
    {"Cécile", true},        {"Marcel", false},      {"Suzanne", true},     {"Henri", false},
    {"Simone", true},        {"Roger", false},       {"Denise", true},      {"Robert", false},
    {"Germaine", true},      {"Paul", false},        {"Jacqueline", true},  {"Raymond", false},
    {"Gisèle", true},        {"Georges", false},     {"Paulette", true},    {"Noël", false},
    {"Renée", true},         {"Émile", false},       {"Solange", true},     {"Jérôme", false},
    {"Josiane", true},       {"Benoît", false},      {"Chantal", true},     {"Gaël", false},
    {"Anaïs", true},         {"Loïc", false},        {"Maëlle", true},      {"Hervé", false},
    {"Zoé", true},           {"Éric", false},        {"Léa", true},         {"Théo", false},
    {"Marie-Thérèse", true}, {"Jean-Pierre", false}, {"Anne-Sophie", true}, {"Jean-Yves", false},
    {"Armelle", true},       {"Goulven", false},     {"Rozenn", true},      {"Erwan", false},
}};

constexpr std::array<std::string_view, 40> kStreets = {"rue de l'Église",
                                                       "rue de la Mairie",
                                                       "avenue Jean Jaurès",
                                                       "rue Victor Hugo",
                                                       "place du Marché",
                                                       "rue des Écoles",
                                                       "boulevard de la Liberté",
                                                       "chemin des Vignes",
                                                       "allée des Châtaigniers",
                                                       "rue du Général de Gaulle",
                                                       "impasse des Mésanges",
                                                       "rue Pasteur",
                                                       "rue de Brest",
                                                       "rue de Saint-Malo",
                                                       "rue Jules Ferry",
                                                       "route de Lorient",
                                                       "rue du Moulin",
                                                       "rue de la Gare",
                                                       "avenue des Peupliers",
                                                       "rue Anatole France",
                                                       "rue de Fougères",
                                                       "quai Lamennais",
                                                       "rue d'Antrain",
                                                       "rue de Nantes",
                                                       "rue des Lilas",
                                                       "chemin du Halage",
                                                       "rue de la Poterie",
                                                       "rue Saint-Hélier",
                                                       "boulevard Voltaire",
                                                       "rue Émile Zola",
                                                       "rue des Forges",
                                                       "rue du Stade",
                                                       "lotissement les Ajoncs",
                                                       "rue de Vern",
                                                       "rue Alphonse Guérin",
                                                       "rue de l'Hôtel-Dieu",
                                                       "square du Thabor",
                                                       "rue Noël du Fail",
                                                       "rue de Châteaugiron",
                                                       "rue René Cassin"};

constexpr std::array<std::string_view, 12> kComplements = {
    "Appt 12",  "Appt 3", "Bât. A",  "Bât. C", "Esc. 2",      "2e étage",
    "Appt 104", "Bât. B", "Porte 7", "RDC",    "Appt 21, 4e", "Chez Mme LE GOFF"};

constexpr std::array<std::string_view, 10> kResidences = {
    "Résidence Les Tilleuls", "Résidence du Parc",       "Les Jardins de l'Ille",
    "Résidence Beaumanoir",   "Foyer-logement Ker Anna", "Résidence Saint-Cyr",
    "Les Hauts de Vilaine",   "Résidence Le Gast",       "EHPAD Les Glycines",
    "Résidence Belle-Île"};

constexpr std::array<std::string_view, 10> kLocalities = {
    "Le Haut-Bourg", "La Ville-Ès-Bois", "Lieu-dit Kerhoas", "Le Pont-Réan", "La Touche",
    "Les Landelles", "La Prévalaye",     "Le Bas-Champ",     "Beaulieu",     "La Barre-Thomas"};

struct Commune {
  std::string_view name;
  std::string_view postcode;
  int sector;  // position in kSectors
};

constexpr std::array<Commune, 40> kCommunes = {{
    {"RENNES", "35000", 0},
    {"RENNES", "35200", 1},
    {"RENNES", "35700", 2},
    {"BRUZ", "35170", 3},
    {"CESSON-SÉVIGNÉ", "35510", 4},
    {"SAINT-MALO", "35400", 5},
    {"FOUGÈRES", "35300", 6},
    {"VITRÉ", "35500", 7},
    {"REDON", "35600", 8},
    {"SAINT-GRÉGOIRE", "35760", 0},
    {"PACÉ", "35740", 9},
    {"BETTON", "35830", 0},
    {"CHARTRES-DE-BRETAGNE", "35131", 3},
    {"LE RHEU", "35650", 9},
    {"MONTFORT-SUR-MEU", "35160", 9},
    {"DINARD", "35800", 5},
    {"COMBOURG", "35270", 10},
    {"JANZÉ", "35150", 11},
    {"CHÂTEAUGIRON", "35410", 4},
    {"LIFFRÉ", "35340", 6},
    {"GUICHEN", "35580", 3},
    {"BAIN-DE-BRETAGNE", "35470", 11},
    {"SAINT-AUBIN-DU-CORMIER", "35140", 6},
    {"PLÉLAN-LE-GRAND", "35380", 9},
    {"MELESSE", "35520", 0},
    {"LA GUERCHE-DE-BRETAGNE", "35130", 7},
    {"RETIERS", "35240", 11},
    {"CANCALE", "35260", 5},
    {"DOL-DE-BRETAGNE", "35120", 10},
    {"TINTÉNIAC", "35190", 10},
    {"SAINT-MÉEN-LE-GRAND", "35290", 9},
    {"NOYAL-CHÂTILLON-SUR-SEICHE", "35230", 2},
    {"ACIGNÉ", "35690", 4},
    {"L'HERMITAGE", "35590", 9},
    {"MORDELLES", "35310", 9},
    {"VERN-SUR-SEICHE", "35770", 2},
    {"THORIGNÉ-FOUILLARD", "35235", 4},
    {"GOVEN", "35580", 3},
    {"ORGÈRES", "35230", 2},
    {"SAINT-JACQUES-DE-LA-LANDE", "35136", 1},
}};

struct Sector {
  std::string_view key;
  std::string_view label;
};

constexpr std::array<Sector, 12> kSectors = {{
    {"003", "Rennes Nord"},
    {"007", "Rennes Ouest"},
    {"012", "Rennes Sud"},
    {"015", "Bruz - Vallée de la Vilaine"},
    {"018", "Cesson-Sévigné - Est rennais"},
    {"021", "Côte d'Émeraude"},
    {"024", "Pays de Fougères"},
    {"027", "Pays de Vitré"},
    {"030", "Pays de Redon"},
    {"033", "Brocéliande"},
    {"036", "Pays de Dol - Combourg"},
    {"040", "Roche-aux-Fées"},
}};

constexpr std::array<std::string_view, 6> kAidTypes = {
    "APA", "PCH", "Aide ménagère", "Portage de repas", "Téléassistance", "Garde de nuit"};
constexpr std::array<std::string_view, 4> kFunders = {"Conseil départemental", "CARSAT", "MSA",
                                                      "Mutuelle"};
constexpr std::array<std::string_view, 6> kServices = {
    "Ménage", "Courses", "Toilette", "Repas", "Accompagnement", "Lever et coucher"};
constexpr std::array<std::string_view, 8> kComments = {
    "RAS",
    "Personne fatiguée, prévenir la famille",
    "Clés chez la voisine du 2e",
    "Intervention écourtée : rendez-vous médical",
    "Bon moral, a fait une promenade",
    "Chien dans le jardin, sonner deux fois",
    "Courses faites au marché",
    "Prévoir des gants : plaie au bras"};
constexpr std::array<std::string_view, 6> kDays = {"Lundi", "Mardi",    "Mercredi",
                                                   "Jeudi", "Vendredi", "Samedi"};

std::string Pad(long n, size_t width) {
  std::string s = std::to_string(n);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

// Builds a record field by field; fields never set stay empty.
class RecordBuilder {
 public:
  RecordBuilder& Set(int f, std::string_view text) {
    if (fields_.size() < static_cast<size_t>(f)) fields_.resize(f);
    fields_[f - 1] = std::string(text);
    return *this;
  }
  // Adds a value to field f (joined by the value mark).
  RecordBuilder& Add(int f, std::string_view text) {
    if (fields_.size() < static_cast<size_t>(f)) fields_.resize(f);
    if (!fields_[f - 1].empty()) fields_[f - 1].push_back(kValueMark);
    fields_[f - 1].append(text);
    return *this;
  }
  std::string Text() const {
    std::string out;
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (i > 0) out.push_back(kFieldMark);
      out += fields_[i];
    }
    return out;
  }

 private:
  std::vector<std::string> fields_;
};

std::string Phone(Rng& rng, bool mobile) {
  std::string p = mobile ? (rng.Percent(50) ? "06" : "07") : "02";
  p += mobile ? "" : (rng.Percent(70) ? " 99" : " 23");
  for (int i = mobile ? 0 : 1; i < 4; ++i) p += " " + Pad(rng.Below(100), 2);
  return p;
}

class Seeder {
 public:
  Seeder(Store& store, const SeedOptions& options, SeedSummary* summary)
      : store_(store), options_(options), summary_(summary), rng_(options.seed) {}

  int Run(std::string* message) {
    if (options_.persons < 0) {
      message_ = "the number of persons cannot be negative";
      return Done(kBadArgument, message);
    }
    long long existing = 0;
    if (store_.FileExists("CIVILAIDE") && store_.CountRecords("CIVILAIDE", &existing) == kOk &&
        existing > 0) {
      message_ = "file \"CIVILAIDE\" already holds " + std::to_string(existing) +
                 " records; seed fills a fresh account";
      return Done(kFileExists, message);
    }
    if (int s = store_.Begin()) {
      message_ = "cannot start a transaction";
      return Done(s, message);
    }
    int s = Fill();
    if (s != kOk) {
      store_.Rollback();
      *summary_ = SeedSummary{};
      return Done(s, message);
    }
    if (int c = store_.Commit()) {
      message_ = "the account refused the final commit";
      *summary_ = SeedSummary{};
      return Done(c, message);
    }
    return kOk;
  }

 private:
  int Done(int status, std::string* message) {
    if (message) *message = message_;
    return status;
  }

  int Fail(int status, std::string what) {
    if (message_.empty()) message_ = std::move(what);
    return status;
  }

  int Ensure(std::string_view file) {
    if (store_.FileExists(file)) return kOk;
    if (int s = store_.CreateFile(file))
      return Fail(s, "cannot create file \"" + std::string(file) + "\"");
    return kOk;
  }

  int Put(std::string_view file, std::string_view key, const std::string& record) {
    if (int s = store_.Write(file, key, record))
      return Fail(
          s, "cannot write record \"" + std::string(key) + "\" of \"" + std::string(file) + "\"");
    ++summary_->records;
    return kOk;
  }

  int Dict(std::string_view file, const DictItem& item) {
    if (int s = store_.SetDictItem(file, item))
      return Fail(s, "cannot set item \"" + item.name + "\" of \"" + std::string(file) + "\"");
    return kOk;
  }

  int Fill() {
    *summary_ = SeedSummary{};
    for (std::string_view f :
         {"CIVILAIDE", "RESPONSABLE", "COMMUNES", "SECTEUR", "SDPARAMEXPORT", "COMPTEUR",
          "SDEXPORTAIDES", "TEMPO", "AIDEDOSSIER", "AIDEINTERV", "AIDENOTES", "PLANNINGAIDE"})
      if (int s = Ensure(f)) return s;
    if (int s = Reference()) return s;
    if (int s = Persons()) return s;
    return Dictionaries();
  }

  int Reference() {
    for (const Sector& sector : kSectors) {
      const std::string folder = "C:\\KESTA\\SECTEURS\\S" + std::string(sector.key) + "\\";
      RecordBuilder r;
      r.Set(1, sector.label).Set(2, "Antenne " + std::string(sector.label)).Set(22, folder);
      if (int s = Put("SECTEUR", sector.key, r.Text())) return s;
      summary_->sector_folders.push_back(folder);
    }
    for (size_t i = 0; i < kCommunes.size(); ++i) {
      const Commune& c = kCommunes[i];
      std::string label(c.name);
      if (c.name == "RENNES") label += " (" + std::string(c.postcode) + ")";  // three of them
      RecordBuilder r;
      r.Set(1, label).Set(2, c.postcode).Set(3, kSectors[c.sector].key);
      if (int s = Put("COMMUNES", std::to_string(i + 1), r.Text())) return s;
    }
    responsables_ = static_cast<uint32_t>(std::clamp(options_.persons / 100, 8L, 400L));
    for (uint32_t i = 1; i <= responsables_; ++i) {
      const FirstName& first = kFirstNames[rng_.Below(kFirstNames.size())];
      RecordBuilder r;
      r.Set(1, std::string(rng_.Pick(kSurnames)) + " " + std::string(first.name))
          .Set(2, Phone(rng_, false))
          .Set(3, kSectors[rng_.Below(kSectors.size())].key);
      if (int s = Put("RESPONSABLE", std::to_string(i), r.Text())) return s;
    }

    RecordBuilder parametres;
    parametres.Set(1, "CORTEVANE").Set(2, "C:\\KESTA\\DOCSCAN\\").Set(3, "KESTA");
    if (int s = Put("SDPARAMEXPORT", "PARAMETRES", parametres.Text())) return s;
    RecordBuilder aide;
    aide.Add(1, "CIVILAIDE").Add(1, "État civil").Add(1, "").Add(1, "");
    aide.Add(2, "AIDEDOSSIER").Add(2, "Dossier d'aide").Add(2, "").Add(2, "");
    aide.Add(3, "AIDEINTERV").Add(3, "Interventions").Add(3, "SELECT").Add(3, "");
    aide.Add(4, "AIDENOTES").Add(4, "Notes").Add(4, "").Add(4, "N");
    if (int s = Put("SDPARAMEXPORT", "AIDE", aide.Text())) return s;
    RecordBuilder planning;
    planning.Add(1, "PLANNINGAIDE").Add(1, "Planning des interventions");
    if (int s = Put("SDPARAMEXPORT", "PLANNING", planning.Text())) return s;

    RecordBuilder counter;
    counter.Set(1, "Compteur des aidés").Set(11, Pad(options_.persons, 5));
    return Put("COMPTEUR", "999", counter.Text());
  }

  int Persons() {
    const long total = options_.persons;
    const long every = std::max(1L, std::min(20000L, total / 10));
    for (long n = 1; n <= total; ++n) {
      const std::string code = Pad(n, 5);
      if (int s = Person(code)) return s;
      if (n % std::max(1L, total / 8) == 0 && summary_->codes.size() < 8)
        summary_->codes.push_back(code);
      if (options_.progress && (n % every == 0 || n == total)) options_.progress(n, total);
    }
    summary_->persons = total;
    return kOk;
  }

  int Person(const std::string& code) {
    const uint32_t commune = rng_.Skewed(kCommunes.size());
    const Commune& c = kCommunes[commune];
    const FirstName& first = kFirstNames[rng_.Skewed(kFirstNames.size())];
    std::string sector(kSectors[c.sector].key);
    if (rng_.Percent(50)) sector += std::to_string(rng_.Below(10));

    RecordBuilder r;
    r.Set(1, first.woman ? "Mme" : "M.")
        .Set(2, kSurnames[rng_.Skewed(kSurnames.size())])
        .Set(3, first.name);
    if (first.woman && rng_.Percent(30)) r.Set(4, kSurnames[rng_.Below(kSurnames.size())]);
    if (rng_.Percent(35)) r.Set(5, rng_.Pick(kComplements));
    if (rng_.Percent(20)) r.Set(6, rng_.Pick(kResidences));
    if (rng_.Percent(90)) {
      std::string number = std::to_string(1 + rng_.Below(120));
      if (rng_.Percent(8)) number += " bis";
      r.Set(7, number);
    }
    r.Set(8, rng_.Pick(kStreets));
    if (rng_.Percent(15)) r.Set(9, rng_.Pick(kLocalities));
    r.Set(10, c.postcode).Set(11, c.name);
    r.Add(12, Phone(rng_, false));
    if (rng_.Percent(40)) r.Add(12, Phone(rng_, true));
    // Born between 1915 and 1960: day numbers before 31 December 1967 are negative.
    r.Set(13, std::to_string(-19000 + static_cast<long>(rng_.Below(16400))));
    r.Set(39, std::to_string(1 + rng_.Skewed(responsables_)));
    r.Set(40, sector);
    r.Set(41, std::to_string(commune + 1));
    const uint32_t state = rng_.Below(1000);
    if (state < 40) {
      r.Set(43, state < 5 ? " " : state < 12 ? "D" : "S");  // deleted: any content, blanks too
      ++summary_->deleted;
    }
    if (int s = Put("CIVILAIDE", code, r.Text())) return s;

    if (rng_.Percent(85)) {
      RecordBuilder d;
      d.Set(1, rng_.Pick(kAidTypes))
          .Set(2, std::to_string(17000 + rng_.Below(3000)))
          .Set(3, std::to_string(4 + rng_.Below(60)))
          .Set(4, rng_.Pick(kFunders));
      const uint32_t services = 1 + rng_.Below(3);
      for (uint32_t i = 0; i < services; ++i) d.Add(5, rng_.Pick(kServices));
      if (int s = Put("AIDEDOSSIER", code, d.Text())) return s;
    }
    const uint32_t visits = rng_.Below(4);
    for (uint32_t i = 1; i <= visits; ++i) {
      RecordBuilder v;
      v.Set(1, std::to_string(20000 + rng_.Below(400)))
          .Set(2, std::string(kSurnames[rng_.Below(kSurnames.size())]) + " " +
                      std::string(kFirstNames[rng_.Below(kFirstNames.size())].name))
          .Set(3, std::to_string(30 + 15 * rng_.Below(8)))
          .Set(4, rng_.Pick(kComments));
      if (int s = Put("AIDEINTERV", code + "*" + Pad(i, 3), v.Text())) return s;
    }
    if (rng_.Percent(30)) {
      RecordBuilder notes;
      notes.Add(1, rng_.Pick(kComments));
      if (rng_.Percent(50)) notes.Add(1, rng_.Pick(kComments));
      if (int s = Put("AIDENOTES", code, notes.Text())) return s;
    }
    const uint32_t slots = rng_.Below(3);
    for (uint32_t i = 0; i < slots; ++i) {
      RecordBuilder p;
      const uint32_t hour = 8 + rng_.Below(10);
      p.Set(1, rng_.Pick(kDays))
          .Set(2, std::to_string(hour) + ":00")
          .Set(3, std::to_string(hour + 1) + ":30");
      if (int s = Put("PLANNINGAIDE", code + "*" + std::to_string(i + 1), p.Text())) return s;
    }
    return kOk;
  }

  // Set after the records, so each index is built once over the whole file. Besides the items
  // queries use (NomAide...), every field of the files the export sends or keeps has a plain
  // French name, which the export's conflict details show. Item names are query words (ASCII
  // letters), and the details take a field's first name in name order: each plain name sorts
  // before the query item of its field ("Nom" before "NomAide").
  int Dictionaries() {
    const std::pair<std::string_view, DictItem> items[] = {
        {"CIVILAIDE", {"Civilite", 1, 0, false, false}},
        {"CIVILAIDE", {"Nom", 2, 0, false, false}},
        {"CIVILAIDE", {"Prenom", 3, 0, false, false}},
        {"CIVILAIDE", {"NomNaissance", 4, 0, false, false}},
        {"CIVILAIDE", {"AdresseComplement", 5, 0, false, false}},
        {"CIVILAIDE", {"AdresseResidence", 6, 0, false, false}},
        {"CIVILAIDE", {"AdresseNumero", 7, 0, false, false}},
        {"CIVILAIDE", {"AdresseVoie", 8, 0, false, false}},
        {"CIVILAIDE", {"AdresseLieuDit", 9, 0, false, false}},
        {"CIVILAIDE", {"CodePostal", 10, 0, false, false}},
        {"CIVILAIDE", {"Ville", 11, 0, false, false}},
        {"CIVILAIDE", {"Telephone", 12, 0, false, false}},
        {"CIVILAIDE", {"DateNaissance", 13, 0, true, false}},
        {"CIVILAIDE", {"Responsable", 39, 0, true, false}},
        {"CIVILAIDE", {"Secteur", 40, 0, false, false}},
        {"CIVILAIDE", {"Commune", 41, 0, true, false}},
        {"CIVILAIDE", {"Etat", 43, 0, false, false}},
        {"AIDEDOSSIER", {"TypeAide", 1, 0, false, false}},
        {"AIDEDOSSIER", {"DateDebut", 2, 0, true, false}},
        {"AIDEDOSSIER", {"HeuresMois", 3, 0, true, false}},
        {"AIDEDOSSIER", {"Financeur", 4, 0, false, false}},
        {"AIDEDOSSIER", {"Prestations", 5, 0, false, false}},
        {"AIDEINTERV", {"DateIntervention", 1, 0, true, false}},
        {"AIDEINTERV", {"Intervenant", 2, 0, false, false}},
        {"AIDEINTERV", {"DureeMinutes", 3, 0, true, false}},
        {"AIDEINTERV", {"Commentaire", 4, 0, false, false}},
        {"AIDENOTES", {"Notes", 1, 0, false, false}},
        {"PLANNINGAIDE", {"Jour", 1, 0, false, false}},
        {"PLANNINGAIDE", {"HeureDebut", 2, 0, false, false}},
        {"PLANNINGAIDE", {"HeureFin", 3, 0, false, false}},
        {"CIVILAIDE", {"CodeAide", 0, 0, true, false}},
        {"CIVILAIDE", {"NomAide", 2, 0, false, true}},
        {"CIVILAIDE", {"PrenomAide", 3, 0, false, true}},
        {"CIVILAIDE", {"VilleAide", 11, 0, false, false}},
        {"CIVILAIDE", {"ResponsableAide", 39, 0, false, true}},
        {"CIVILAIDE", {"CodeSecteurAide", 40, 3, true, true}},
        {"CIVILAIDE", {"CommuneAide", 41, 0, false, true}},
        {"CIVILAIDE", {"EtatAide", 43, 0, false, false}},
        {"RESPONSABLE", {"Libelle", 1, 0, false, false}},
        {"COMMUNES", {"Libelle", 1, 0, false, false}},
        {"SECTEUR", {"Libelle", 1, 0, false, false}},
        {"SECTEUR", {"Dossier", 22, 0, false, false}},
        {"SDEXPORTAIDES", {"UtilisateurExport", 1, 0, false, true}},
        {"AIDEDOSSIER", {"CodeAide", 0, 0, true, false}},
        {"AIDEINTERV", {"CleAide", 0, 5, false, true}},
        {"AIDENOTES", {"CodeAide", 0, 0, true, false}},
        {"PLANNINGAIDE", {"CleAide", 0, 5, false, true}},
    };
    for (const auto& [file, item] : items)
      if (int s = Dict(file, item)) return s;
    return kOk;
  }

  Store& store_;
  const SeedOptions& options_;
  SeedSummary* summary_;
  Rng rng_;
  uint32_t responsables_ = 8;
  std::string message_;
};

}  // namespace

int Seed(Store& store, const SeedOptions& options, SeedSummary* summary, std::string* message) {
  SeedSummary local;
  return Seeder(store, options, summary ? summary : &local).Run(message);
}

}  // namespace cortevane::db::sample
