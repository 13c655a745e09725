#include "platform/store/registry_store.h"

#include <cstring>

#include <algorithm>
#include <chrono>

#include "platform/file_system.h"
#include "platform/reg_text.h"

namespace hs {

namespace {

constexpr char16_t kWow[] = u"Wow6432Node";

// Class keys that the 32-bit view redirects to Classes\Wow6432Node.
constexpr const char16_t* kRedirectedClasses[] = {u"CLSID", u"Interface", u"DirectShow", u"Media Type",
                                                  u"MediaFoundation"};

// Keys below HKLM\Software that both views share (Windows 7).
constexpr const char16_t* kSharedSoftwareKeys[] = {
    u"Clients",
    u"Microsoft\\COM3",
    u"Microsoft\\Cryptography\\Calais\\Current",
    u"Microsoft\\Cryptography\\Calais\\Readers",
    u"Microsoft\\Cryptography\\Services",
    u"Microsoft\\CTF\\SystemShared",
    u"Microsoft\\CTF\\TIP",
    u"Microsoft\\DFS",
    u"Microsoft\\Driver Signing",
    u"Microsoft\\EnterpriseCertificates",
    u"Microsoft\\EventSystem",
    u"Microsoft\\MSMQ",
    u"Microsoft\\Non-Driver Signing",
    u"Microsoft\\Notepad\\DefaultFonts",
    u"Microsoft\\OLE",
    u"Microsoft\\RAS",
    u"Microsoft\\RPC",
    u"Microsoft\\Shared Tools\\MSInfo",
    u"Microsoft\\SystemCertificates",
    u"Microsoft\\TermServLicensing",
    u"Microsoft\\TransactionServer",
    u"Microsoft\\Windows\\CurrentVersion\\App Paths",
    u"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    u"Microsoft\\Windows\\CurrentVersion\\Group Policy",
    u"Microsoft\\Windows\\CurrentVersion\\Policies",
    u"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Setup",
    u"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    u"Microsoft\\Windows NT\\CurrentVersion\\Console",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    u"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    u"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    u"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    u"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    u"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    u"Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    u"Microsoft\\Windows NT\\CurrentVersion\\Ports",
    u"Microsoft\\Windows NT\\CurrentVersion\\Print",
    u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    u"Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    u"Policies",
    u"RegisteredApplications",
};

bool IsWow(TextView name) { return EqualsNoCase(name, kWow); }

bool IsRedirectedClass(TextView name) {
  for (auto* c : kRedirectedClasses)
    if (EqualsNoCase(name, c)) return true;
  return false;
}

const std::vector<std::vector<Text>>& SharedKeys() {
  static const std::vector<std::vector<Text>> keys = [] {
    std::vector<std::vector<Text>> out;
    for (auto* k : kSharedSoftwareKeys) out.push_back(Split(k, u'\\'));
    return out;
  }();
  return keys;
}

// Does comps (below HKLM\Software, i.e. without "Software") lie in a shared key?
bool InSharedKey(const std::vector<Text>& comps, std::size_t begin) {
  for (const auto& s : SharedKeys()) {
    if (comps.size() - begin < s.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < s.size() && match; ++i) match = EqualsNoCase(comps[begin + i], s[i]);
    if (match) return true;
  }
  return false;
}

std::uint64_t NowFiletime() {
  using namespace std::chrono;
  auto secs = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<std::uint64_t>(secs) * 10 + 116444736000000000ull;
}

bool HasWriteRights(std::uint32_t sam) { return (sam & kKeyWriteRights) != 0; }

}  // namespace

// Memory per key and value stays close to the data: a key's name and its
// upper-case form share one block, a value's name and data another.
struct RegistryStore::Node {
  class Value {
   public:
    Value(TextView name, std::uint32_t type, const std::vector<std::uint8_t>& data) : type(type) {
      Assign(name, data.data(), data.size());
    }
    TextView name() const { return TextView(reinterpret_cast<const char16_t*>(block_.get()), name_len_); }
    std::vector<std::uint8_t> data() const {
      const std::uint8_t* d = block_.get() + std::size_t{name_len_} * 2;
      return std::vector<std::uint8_t>(d, d + data_len_);
    }
    std::size_t data_size() const { return data_len_; }
    void SetData(const std::vector<std::uint8_t>& data) {
      const Text kept(name());
      Assign(kept, data.data(), data.size());
    }
    std::uint32_t type = 0;

   private:
    void Assign(TextView name, const std::uint8_t* data, std::size_t size) {
      auto block = std::make_unique<std::uint8_t[]>(name.size() * 2 + size);
      std::memcpy(block.get(), name.data(), name.size() * 2);
      if (size) std::memcpy(block.get() + name.size() * 2, data, size);
      block_ = std::move(block);
      name_len_ = static_cast<std::uint32_t>(name.size());
      data_len_ = static_cast<std::uint32_t>(size);
    }
    std::unique_ptr<std::uint8_t[]> block_;
    std::uint32_t name_len_ = 0;
    std::uint32_t data_len_ = 0;
  };

  void SetName(TextView name) {
    const Text up = Upcase(name);
    names_ = std::make_unique<char16_t[]>(name.size() * 2);
    std::copy(name.begin(), name.end(), names_.get());
    std::copy(up.begin(), up.end(), names_.get() + name.size());
    name_len_ = static_cast<std::uint32_t>(name.size());
  }
  TextView name() const { return TextView(names_.get(), name_len_); }
  TextView upper() const { return TextView(names_.get() + name_len_, name_len_); }

  std::unique_ptr<char16_t[]> names_;
  std::uint32_t name_len_ = 0;
  bool deleted = false;
  bool deny_write = false;
  Node* parent = nullptr;
  std::vector<std::shared_ptr<Node>> children;  // sorted by upper
  std::vector<Value> values;                    // creation order
  std::uint64_t last_write = 0;
  // A link key: opening it opens the target (a path from target_root).
  Node* link_root = nullptr;
  std::unique_ptr<std::vector<Text>> link;

  std::vector<std::shared_ptr<Node>>::iterator LowerBound(TextView up) {
    return std::lower_bound(children.begin(), children.end(), up,
                            [](const std::shared_ptr<Node>& n, TextView u) { return n->upper() < u; });
  }
  std::shared_ptr<Node> Find(TextView name) {
    Text up = Upcase(name);
    auto it = LowerBound(up);
    if (it != children.end() && (*it)->upper() == TextView(up)) return *it;
    return nullptr;
  }
  std::shared_ptr<Node> Add(TextView name) {
    auto n = std::make_shared<Node>();
    n->SetName(name);
    n->parent = this;
    n->last_write = NowFiletime();
    auto it = LowerBound(n->upper());
    children.insert(it, n);
    return n;
  }
  void Remove(Node* child) {
    auto it = LowerBound(child->upper());
    if (it != children.end() && it->get() == child) children.erase(it);
  }
  Value* FindValue(TextView name) {
    for (auto& v : values)
      if (EqualsNoCase(v.name(), name)) return &v;
    return nullptr;
  }
  static void MarkDeleted(Node* n) {
    n->deleted = true;
    for (auto& c : n->children) MarkDeleted(c.get());
  }
};

struct RegistryStore::Handle {
  RegKey root = 0;
  std::vector<Text> comps;  // logical path below the root
  bool view64 = false;
  std::uint32_t sam = 0;
  std::shared_ptr<Node> node;  // values live here, writes go here
  std::shared_ptr<Node> alt;   // classes root: the machine key under a user key
  std::vector<std::shared_ptr<Node>> extra;  // 32-bit view: shared keys listed here
  bool classes32 = false;  // 32-bit view of a classes root: redirected class keys come from extra
  std::vector<std::shared_ptr<Node>> merged;
  std::uint64_t merged_generation = 0;
};

struct RegistryStore::Target {
  Node* root = nullptr;
  std::vector<Text> comps;
};

struct RegistryStore::Resolved {
  std::shared_ptr<Node> node;
  std::shared_ptr<Node> alt;
  std::vector<std::shared_ptr<Node>> extra;
  bool classes32 = false;
};

RegistryStore::RegistryStore() : RegistryStore(Options{}) {}

RegistryStore::RegistryStore(Options options) : options_(options) {
  auto mk = [](const char16_t* name) {
    auto n = std::make_shared<Node>();
    n->SetName(name);
    n->last_write = NowFiletime();
    return n;
  };
  hklm_ = mk(u"HKEY_LOCAL_MACHINE");
  hku_ = mk(u"HKEY_USERS");
  hkcu_ = mk(u"HKEY_CURRENT_USER");
  hkcc_ = mk(u"HKEY_CURRENT_CONFIG");
  auto software = hklm_->Add(u"Software");
  auto classes = software->Add(u"Classes");
  hkcu_->Add(u"Software")->Add(u"Classes");
  hku_->Add(u".DEFAULT");
  if (options_.windows64) {
    classes->Add(kWow);
    auto wow = software->Add(kWow);
    // Software\Wow6432Node\Classes is a link to Software\Classes\Wow6432Node.
    auto link = wow->Add(u"Classes");
    link->link_root = hklm_.get();
    link->link = std::make_unique<std::vector<Text>>(std::vector<Text>{u"Software", u"Classes", Text(kWow)});
  }
}

RegistryStore::~RegistryStore() = default;

std::uint32_t RegistryStore::DefaultView() const { return kKeyWow64_32Key; }

std::size_t RegistryStore::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return handles_.size();
}

WinError RegistryStore::ParsePath(TextView subkey, std::vector<Text>* comps) const {
  comps->clear();
  if (!subkey.empty() && subkey[0] == u'\\') return err::kBadPathname;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= subkey.size(); ++i) {
    if (i == subkey.size() || subkey[i] == u'\\') {
      if (i > start) {
        if (i - start > kMaxKeyNameChars) return err::kInvalidParameter;
        comps->emplace_back(subkey.substr(start, i - start));
      }
      start = i + 1;
    }
  }
  return err::kSuccess;
}

WinError RegistryStore::Lookup(RegKey key, Handle** out) {
  auto it = handles_.find(key);
  if (it == handles_.end()) return err::kInvalidHandle;
  if (it->second->node && it->second->node->deleted) return err::kKeyDeleted;
  *out = it->second.get();
  return err::kSuccess;
}

WinError RegistryStore::LogicalFor(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* root,
                                   std::vector<Text>* comps, bool* view64) {
  std::vector<Text> rel;
  if (WinError e = ParsePath(subkey, &rel)) return e;
  std::uint32_t view = sam & kKeyWow64Res;
  if (IsPredefinedKey(parent)) {
    if (parent != kHkeyClassesRoot && parent != kHkeyCurrentUser && parent != kHkeyLocalMachine &&
        parent != kHkeyUsers && parent != kHkeyCurrentConfig)
      return err::kInvalidHandle;
    *root = parent;
    comps->clear();
    if (view == 0) view = DefaultView();
  } else {
    Handle* h = nullptr;
    if (WinError e = Lookup(parent, &h)) return e;
    *root = h->root;
    *comps = h->comps;
    if (view == 0) view = h->view64 ? kKeyWow64_64Key : kKeyWow64_32Key;
  }
  comps->insert(comps->end(), rel.begin(), rel.end());
  *view64 = view == kKeyWow64_64Key;
  return err::kSuccess;
}

// Logical path -> physical candidates (one, or user then machine for the
// classes root).
std::vector<RegistryStore::Target> RegistryStore::Map(RegKey root, const std::vector<Text>& comps,
                                                      bool view64) const {
  const bool redirect = options_.windows64 && !view64;
  auto classes_path = [&](std::vector<Text> base, std::size_t from) {
    // Below a Classes key: CLSID & co. go to Classes\Wow6432Node in the 32-bit view.
    if (redirect && comps.size() > from && IsRedirectedClass(comps[from])) base.push_back(kWow);
    base.insert(base.end(), comps.begin() + static_cast<std::ptrdiff_t>(from), comps.end());
    return base;
  };
  std::vector<Target> out;
  if (root == kHkeyClassesRoot) {
    out.push_back({hkcu_.get(), classes_path({u"Software", u"Classes"}, 0)});
    out.push_back({hklm_.get(), classes_path({u"Software", u"Classes"}, 0)});
    return out;
  }
  if (root == kHkeyLocalMachine) {
    if (redirect && !comps.empty() && EqualsNoCase(comps[0], u"Software")) {
      if (comps.size() >= 2 && EqualsNoCase(comps[1], u"Classes")) {
        out.push_back({hklm_.get(), classes_path({comps[0], comps[1]}, 2)});
        return out;
      }
      if (!(comps.size() >= 2 && IsWow(comps[1])) && !InSharedKey(comps, 1)) {
        std::vector<Text> p{comps[0], kWow};
        p.insert(p.end(), comps.begin() + 1, comps.end());
        out.push_back({hklm_.get(), std::move(p)});
        return out;
      }
    }
    out.push_back({hklm_.get(), comps});
    return out;
  }
  if (root == kHkeyCurrentUser) {
    if (comps.size() >= 2 && EqualsNoCase(comps[0], u"Software") && EqualsNoCase(comps[1], u"Classes")) {
      out.push_back({hkcu_.get(), classes_path({comps[0], comps[1]}, 2)});
      return out;
    }
    out.push_back({hkcu_.get(), comps});
    return out;
  }
  out.push_back({root == kHkeyUsers ? hku_.get() : hkcc_.get(), comps});
  return out;
}

std::shared_ptr<RegistryStore::Node> RegistryStore::Walk(const Target& t, bool create, WinError* error,
                                                         bool* created, std::size_t* depth_found) {
  Node* root = t.root;
  std::shared_ptr<Node> cur = root == hklm_.get()   ? hklm_
                              : root == hku_.get()  ? hku_
                              : root == hkcu_.get() ? hkcu_
                                                    : hkcc_;
  *depth_found = 0;
  for (std::size_t i = 0; i < t.comps.size(); ++i) {
    auto next = cur->Find(t.comps[i]);
    if (!next) {
      if (!create) {
        *error = err::kFileNotFound;
        return nullptr;
      }
      if (cur->deny_write) {
        *error = err::kAccessDenied;
        return nullptr;
      }
      next = cur->Add(t.comps[i]);
      cur->last_write = NowFiletime();
      if (created) *created = true;
    } else {
      *depth_found = i + 1;
    }
    int hops = 0;
    while (next->link && hops++ < 8) {
      Target lt{next->link_root, *next->link};
      std::size_t d = 0;
      auto target = Walk(lt, create, error, nullptr, &d);
      if (!target) return nullptr;
      next = target;
    }
    cur = next;
  }
  *error = err::kSuccess;
  return cur;
}

WinError RegistryStore::Resolve(RegKey root, const std::vector<Text>& comps, bool view64, bool create,
                                std::uint32_t sam, Resolved* out, bool* created) {
  auto targets = Map(root, comps, view64);
  std::vector<std::shared_ptr<Node>> found;
  std::size_t best_depth = 0, best = targets.size() - 1;
  WinError last = err::kFileNotFound;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    WinError e = err::kSuccess;
    std::size_t depth = 0;
    auto n = Walk(targets[i], false, &e, nullptr, &depth);
    if (n) found.push_back(n);
    else last = e;
    // Create where the deepest existing part lies (the machine on a tie).
    if (depth >= best_depth) {
      best_depth = depth;
      best = i;
    }
  }
  if (found.empty()) {
    if (!create) return last == err::kSuccess ? err::kFileNotFound : last;
    WinError e = err::kSuccess;
    std::size_t depth = 0;
    bool made = false;
    auto n = Walk(targets[best], true, &e, &made, &depth);
    if (!n) return e;
    if (created) *created = made;
    found.push_back(n);
    ++generation_;
  }
  if (HasWriteRights(sam) && found[0]->deny_write) return err::kAccessDenied;
  out->node = found[0];
  out->alt = found.size() > 1 ? found[1] : nullptr;
  out->extra.clear();
  // 32-bit view of a redirected HKLM\Software key: list the shared keys below it too.
  if (options_.windows64 && !view64 && root == kHkeyLocalMachine && !comps.empty() &&
      EqualsNoCase(comps[0], u"Software") && !InSharedKey(comps, 1) &&
      !(comps.size() >= 2 && (IsWow(comps[1]) || EqualsNoCase(comps[1], u"Classes")))) {
    const std::size_t below = comps.size() - 1;
    for (const auto& s : SharedKeys()) {
      if (s.size() != below + 1) continue;
      bool match = true;
      for (std::size_t i = 0; i < below && match; ++i) match = EqualsNoCase(s[i], comps[1 + i]);
      if (!match) continue;
      std::vector<Text> p{u"Software"};
      p.insert(p.end(), s.begin(), s.end());
      WinError e;
      std::size_t d;
      if (auto n = Walk({hklm_.get(), p}, false, &e, nullptr, &d)) out->extra.push_back(n);
    }
    if (below == 0) {
      WinError e;
      std::size_t d;
      if (auto n = Walk({hklm_.get(), {u"Software", u"Classes"}}, false, &e, nullptr, &d)) out->extra.push_back(n);
    }
  }
  // 32-bit view of a classes root: CLSID & co. are listed from Classes\Wow6432Node.
  const bool classes_root =
      (root == kHkeyClassesRoot && comps.empty()) ||
      ((root == kHkeyLocalMachine || root == kHkeyCurrentUser) && comps.size() == 2 &&
       EqualsNoCase(comps[0], u"Software") && EqualsNoCase(comps[1], u"Classes"));
  if (options_.windows64 && !view64 && classes_root) {
    out->classes32 = true;
    for (auto* base : {out->node.get(), out->alt.get()}) {
      if (!base) continue;
      auto wow = base->Find(kWow);
      if (!wow) continue;
      for (auto* c : kRedirectedClasses)
        if (auto n = wow->Find(c)) out->extra.push_back(n);
    }
  }
  return err::kSuccess;
}

RegKey RegistryStore::NewHandle(Handle h) {
  RegKey k = next_handle_;
  next_handle_ += 4;
  handles_.emplace(k, std::make_unique<Handle>(std::move(h)));
  return k;
}

WinError RegistryStore::Open(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out) {
  std::lock_guard<std::mutex> lock(mu_);
  *out = 0;
  Handle h;
  if (WinError e = LogicalFor(parent, subkey, sam, &h.root, &h.comps, &h.view64)) return e;
  Resolved r;
  if (WinError e = Resolve(h.root, h.comps, h.view64, false, sam, &r, nullptr)) return e;
  h.sam = sam;
  h.node = r.node;
  h.alt = r.alt;
  h.extra = r.extra;
  h.classes32 = r.classes32;
  *out = NewHandle(std::move(h));
  return err::kSuccess;
}

WinError RegistryStore::Create(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out, bool* created) {
  std::lock_guard<std::mutex> lock(mu_);
  *out = 0;
  if (created) *created = false;
  Handle h;
  if (WinError e = LogicalFor(parent, subkey, sam, &h.root, &h.comps, &h.view64)) return e;
  if (!IsPredefinedKey(parent)) {
    Handle* p = nullptr;
    if (WinError e = Lookup(parent, &p)) return e;
    if (!(p->sam & kKeyCreateSubKey) && subkey.size() > 0) {
      Resolved probe;
      if (Resolve(h.root, h.comps, h.view64, false, 0, &probe, nullptr) != err::kSuccess) return err::kAccessDenied;
    }
  }
  if (h.comps.empty() && h.root != kHkeyClassesRoot) {
    // Creating a root itself just opens it.
  }
  Resolved r;
  bool made = false;
  if (WinError e = Resolve(h.root, h.comps, h.view64, true, sam, &r, &made)) return e;
  if (created) *created = made;
  h.sam = sam;
  h.node = r.node;
  h.alt = r.alt;
  h.extra = r.extra;
  h.classes32 = r.classes32;
  *out = NewHandle(std::move(h));
  return err::kSuccess;
}

void RegistryStore::Close(RegKey key) {
  if (IsPredefinedKey(key)) return;
  std::lock_guard<std::mutex> lock(mu_);
  handles_.erase(key);
}

// Predefined roots used directly get a temporary handle.
#define HS_STORE_HANDLE(key, h, access)                                         \
  Handle tmp_##h;                                                              \
  Handle* h = nullptr;                                                         \
  if (IsPredefinedKey(key)) {                                                  \
    RegKey r_;                                                                 \
    std::vector<Text> c_;                                                      \
    bool v_;                                                                   \
    if (WinError e_ = LogicalFor(key, u"", 0, &r_, &c_, &v_)) return e_;       \
    Resolved res_;                                                             \
    if (WinError e_ = Resolve(r_, c_, v_, false, 0, &res_, nullptr)) return e_; \
    tmp_##h.root = r_;                                                         \
    tmp_##h.view64 = v_;                                                       \
    tmp_##h.sam = kKeyAllAccess;                                               \
    tmp_##h.node = res_.node;                                                  \
    tmp_##h.alt = res_.alt;                                                    \
    tmp_##h.extra = res_.extra;                                                \
    tmp_##h.classes32 = res_.classes32;                                        \
    h = &tmp_##h;                                                              \
  } else if (WinError e_ = Lookup(key, &h)) {                                  \
    return e_;                                                                 \
  }                                                                            \
  if ((access) != 0 && (h->sam & (access)) == 0) return err::kAccessDenied;

void RegistryStore::Children(Handle& h, std::vector<std::shared_ptr<Node>>** out) {
  if (!h.alt && h.extra.empty() && !h.classes32) {
    *out = &h.node->children;
    return;
  }
  if (h.merged_generation != generation_) {
    h.merged.clear();
    auto add = [&](const std::shared_ptr<Node>& n) {
      auto it = std::lower_bound(h.merged.begin(), h.merged.end(), n->upper(),
                                 [](const std::shared_ptr<Node>& a, TextView u) { return a->upper() < u; });
      if (it == h.merged.end() || (*it)->upper() != n->upper()) h.merged.insert(it, n);
    };
    for (auto* base : {h.node.get(), h.alt.get()}) {
      if (!base) continue;
      for (auto& c : base->children)
        if (!h.classes32 || !IsRedirectedClass(c->name())) add(c);
    }
    for (auto& e : h.extra) add(e);
    h.merged_generation = generation_;
  }
  *out = &h.merged;
}

WinError RegistryStore::QueryInfo(RegKey key, RegKeyInfo* info) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, kKeyQueryValue);
  std::vector<std::shared_ptr<Node>>* kids = nullptr;
  Children(*h, &kids);
  RegKeyInfo r;
  r.subkeys = static_cast<std::uint32_t>(kids->size());
  for (auto& c : *kids) r.max_subkey_name = std::max<std::uint32_t>(r.max_subkey_name, c->name().size());
  r.values = static_cast<std::uint32_t>(h->node->values.size());
  for (auto& v : h->node->values) {
    r.max_value_name = std::max<std::uint32_t>(r.max_value_name, v.name().size());
    r.max_value_data = std::max<std::uint32_t>(r.max_value_data, v.data_size());
  }
  r.last_write = h->node->last_write;
  *info = r;
  return err::kSuccess;
}

WinError RegistryStore::EnumKey(RegKey key, std::uint32_t index, std::uint32_t name_capacity, Text* name) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, kKeyEnumerateSubKeys);
  std::vector<std::shared_ptr<Node>>* kids = nullptr;
  Children(*h, &kids);
  if (index >= kids->size()) return err::kNoMoreItems;
  const TextView n = (*kids)[index]->name();
  if (n.size() >= name_capacity) return err::kMoreData;
  *name = Text(n);
  return err::kSuccess;
}

WinError RegistryStore::EnumValue(RegKey key, std::uint32_t index, std::uint32_t name_capacity,
                                  std::uint32_t data_capacity, Text* name, RegValue* value) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, kKeyQueryValue);
  auto& vals = h->node->values;
  if (index >= vals.size()) return err::kNoMoreItems;
  const auto& v = vals[index];
  if (v.name().size() >= name_capacity) return err::kMoreData;
  if (value && v.data_size() > data_capacity) return err::kMoreData;
  *name = Text(v.name());
  if (value) {
    value->type = v.type;
    value->data = v.data();
  }
  return err::kSuccess;
}

WinError RegistryStore::QueryValue(RegKey key, TextView name, RegValue* value) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, kKeyQueryValue);
  auto* v = h->node->FindValue(name);
  if (!v) return err::kFileNotFound;
  if (value) {
    value->type = v->type;
    value->data = v->data();
  }
  return err::kSuccess;
}

WinError RegistryStore::SetValue(RegKey key, TextView name, std::uint32_t type,
                                 const std::vector<std::uint8_t>& data) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, kKeySetValue);
  if (h->node->deny_write) return err::kAccessDenied;
  if (name.size() > kMaxValueNameChars) return err::kInvalidParameter;
  auto* v = h->node->FindValue(name);
  if (!v) {
    h->node->values.emplace_back(name, type, data);
  } else {
    v->type = type;
    v->SetData(data);
  }
  h->node->last_write = NowFiletime();
  return err::kSuccess;
}

WinError RegistryStore::DeleteValue(RegKey key, TextView name) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, kKeySetValue);
  if (h->node->deny_write) return err::kAccessDenied;
  auto& vals = h->node->values;
  for (auto it = vals.begin(); it != vals.end(); ++it) {
    if (EqualsNoCase(it->name(), name)) {
      vals.erase(it);
      h->node->last_write = NowFiletime();
      return err::kSuccess;
    }
  }
  return err::kFileNotFound;
}

WinError RegistryStore::DeleteKey(RegKey parent, TextView subkey, std::uint32_t view_sam) {
  std::lock_guard<std::mutex> lock(mu_);
  RegKey root;
  std::vector<Text> comps;
  bool view64;
  if (WinError e = LogicalFor(parent, subkey, view_sam, &root, &comps, &view64)) return e;
  if (comps.empty()) return err::kAccessDenied;
  Resolved r;
  if (WinError e = Resolve(root, comps, view64, false, 0, &r, nullptr)) return e;
  Node* n = r.node.get();
  if (!n->parent || n->deny_write) return err::kAccessDenied;
  if (!n->children.empty()) return err::kAccessDenied;
  Node::MarkDeleted(n);
  n->parent->Remove(n);
  ++generation_;
  return err::kSuccess;
}

WinError RegistryStore::DeleteTree(RegKey parent, TextView subkey, std::uint32_t view_sam) {
  std::lock_guard<std::mutex> lock(mu_);
  RegKey root;
  std::vector<Text> comps;
  bool view64;
  if (WinError e = LogicalFor(parent, subkey, view_sam, &root, &comps, &view64)) return e;
  if (comps.empty()) return err::kAccessDenied;
  Resolved r;
  if (WinError e = Resolve(root, comps, view64, false, 0, &r, nullptr)) return e;
  Node* n = r.node.get();
  if (!n->parent) return err::kAccessDenied;
  // A marked key (or one below it) stays, as a protected key would.
  std::vector<Node*> stack{n};
  while (!stack.empty()) {
    Node* c = stack.back();
    stack.pop_back();
    if (c->deny_write) return err::kAccessDenied;
    for (auto& k : c->children) stack.push_back(k.get());
  }
  Node::MarkDeleted(n);
  n->parent->Remove(n);
  ++generation_;
  return err::kSuccess;
}

WinError RegistryStore::Flush(RegKey key) {
  std::lock_guard<std::mutex> lock(mu_);
  HS_STORE_HANDLE(key, h, 0);
  (void)h;
  return err::kSuccess;
}

WinError RegistryStore::SaveKey(RegKey key, TextView file) {
  if (!options_.file_system) return err::kCallNotImplemented;
  RegKey root = 0;
  Text path;
  std::uint32_t view = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (IsPredefinedKey(key)) {
      root = key;
      view = DefaultView();
    } else {
      Handle* h = nullptr;
      if (WinError e = Lookup(key, &h)) return e;
      root = h->root;
      for (const auto& c : h->comps) path += (path.empty() ? u"" : u"\\") + c;
      view = h->view64 ? kKeyWow64_64Key : kKeyWow64_32Key;
    }
  }
  // Like the system's call, an existing file is not overwritten.
  if (options_.file_system->Exists(file)) return err::kAlreadyExists;
  Text body;
  if (WinError e = ExportRegText(*this, root, RegRootName(root), path, view, /*lossless=*/true,
                                 /*with_header=*/true, &body))
    return e;
  auto bytes = EncodeRegFile(body);
  return options_.file_system->WriteFileAtomic(file, bytes);
}

WinError RegistryStore::MarkDenyWrite(RegKey root, TextView subkey, std::uint32_t view_sam, bool deny) {
  std::lock_guard<std::mutex> lock(mu_);
  RegKey r;
  std::vector<Text> comps;
  bool view64;
  if (WinError e = LogicalFor(root, subkey, view_sam, &r, &comps, &view64)) return e;
  Resolved res;
  if (WinError e = Resolve(r, comps, view64, false, 0, &res, nullptr)) return e;
  res.node->deny_write = deny;
  return err::kSuccess;
}

}  // namespace hs
