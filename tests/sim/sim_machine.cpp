// The machine: clock, handle accounting, inspection helpers.
#include <algorithm>
#include <sstream>

#include "sim/sim.h"

namespace sim {

namespace {
Machine* g_machine = nullptr;

std::string Fold(const std::string& s) {
    std::string out = s;
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < out.size()) {
            ++i;  // a double-byte character is compared as it stands
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        }
    }
    return out;
}
}  // namespace

bool SameNoCase(const std::string& a, const std::string& b) { return Fold(a) == Fold(b); }

Machine& machine() {
    if (!g_machine) g_machine = new Machine();
    return *g_machine;
}

void Reset() {
    delete g_machine;
    g_machine = new Machine();
    g_machine->templates = ResourceTemplates();
    g_machine->SetSpecialFolder(win::CSIDL_DESKTOP, "C:\\users\\tester\\Desktop");
    g_machine->SetSpecialFolder(win::CSIDL_FAVORITES, "C:\\users\\tester\\Favorites");
    g_machine->SetSpecialFolder(win::CSIDL_APPDATA, "C:\\users\\tester\\AppData\\Roaming");
    g_machine->SetSpecialFolder(win::CSIDL_STARTMENU, "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    g_machine->SetSpecialFolder(win::CSIDL_LOCAL_APPDATA, "C:\\users\\tester\\AppData\\Local");
    g_machine->SetSpecialFolder(win::CSIDL_PROGRAM_FILES, "C:\\Program Files");
    g_machine->SetSpecialFolder(win::CSIDL_PROGRAM_FILESX86, "C:\\Program Files (x86)");
    g_machine->AddFolder("C:\\Program Files");
    g_machine->AddFolder("C:\\windows\\Temp");
    g_machine->resources[201] = std::string(kGuardProgramBytes, sizeof(kGuardProgramBytes) - 1);
    g_machine->registry["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir"] = "C:\\Program Files";
    g_machine->registry["SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir"] =
        "C:\\Program Files (x86)";
}

Service& Machine::AddService(const std::string& name, DWORD state) {
    auto service = std::make_unique<Service>();
    service->name = name;
    service->displayName = name;
    service->state = state;
    services.push_back(std::move(service));
    return *services.back();
}

Process& Machine::AddProcess(const std::string& image) {
    Process process;
    process.pid = nextPid;
    nextPid += 4;
    process.image = image;
    processes.push_back(process);
    return processes.back();
}

void Machine::AddFile(const std::string& path, bool readOnly, const std::string& content) {
    std::size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos) AddFolder(path.substr(0, slash));
    files.push_back({path, readOnly, false, content});
}

void Machine::AddFolder(const std::string& path) {
    if (path.empty() || FolderExists(path)) return;
    std::size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos) AddFolder(path.substr(0, slash));
    folders.push_back(path);
}

void Machine::SetSpecialFolder(int csidl, const std::string& path) { specialFolders[csidl] = path; }
void Machine::RemoveSpecialFolder(int csidl) { specialFolders.erase(csidl); }

void Machine::UseXpProfile() {
    const std::string profile = "C:\\Documents and Settings\\tester";
    SetSpecialFolder(win::CSIDL_DESKTOP, profile + "\\Desktop");
    SetSpecialFolder(win::CSIDL_FAVORITES, profile + "\\Favorites");
    SetSpecialFolder(win::CSIDL_APPDATA, profile + "\\Application Data");
    SetSpecialFolder(win::CSIDL_STARTMENU, profile + "\\Start Menu");
    SetSpecialFolder(win::CSIDL_LOCAL_APPDATA, profile + "\\Local Settings\\Application Data");
}

void Machine::SplitToken() {
    elevationType = 2;
    shellPid = AddProcess("explorer.exe").pid;
}

void Machine::OverTheShoulder() {
    SplitToken();
    shellOtherAccount = true;
    userFolders = specialFolders;
    for (auto& [csidl, folder] : specialFolders) {
        const std::string tester = "C:\\users\\tester";
        if (folder.compare(0, tester.size(), tester) == 0) folder = "C:\\users\\admin" + folder.substr(tester.size());
    }
}

void Machine::At(std::int64_t at, std::function<void()> fn) { events_.emplace(at, std::move(fn)); }

std::int64_t Machine::NextEventTime() const { return events_.empty() ? -1 : events_.begin()->first; }

bool Machine::RunNextEventUntil(std::int64_t limit) {
    if (events_.empty() || events_.begin()->first > limit) return false;
    auto it = events_.begin();
    if (it->first > now) now = it->first;
    auto fn = std::move(it->second);
    events_.erase(it);
    fn();
    return true;
}

void Machine::Advance(std::int64_t ms) {
    std::int64_t until = now + ms;
    while (RunNextEventUntil(until)) {
    }
    now = until;
    Refresh();
}

void Machine::RemoveServiceIfDone(Service& service) {
    if (service.markedForDelete && service.openHandles == 0 && service.state == win::SERVICE_STOPPED) {
        Log("ServiceGone " + service.name);
        services.erase(std::remove_if(services.begin(), services.end(),
                                      [&](const std::unique_ptr<Service>& s) { return s.get() == &service; }),
                       services.end());
    }
}

void Machine::Refresh() {
    for (std::size_t i = 0; i < services.size();) {
        Service& s = *services[i];
        if ((s.state == win::SERVICE_STOP_PENDING) && s.pendingUntil >= 0 && now >= s.pendingUntil)
            s.state = win::SERVICE_STOPPED;
        if (s.state == win::SERVICE_START_PENDING && s.pendingUntil >= 0 && now >= s.pendingUntil)
            s.state = s.startOutcome;
        std::size_t before = services.size();
        RemoveServiceIfDone(s);
        if (services.size() == before) ++i;
    }
}

Service* Machine::FindService(const std::string& name) {
    Refresh();
    for (auto& s : services)
        if (SameNoCase(s->name, name)) return s.get();
    return nullptr;
}

bool Machine::HasProcess(const std::string& image) const { return CountProcesses(image) > 0; }

int Machine::CountProcesses(const std::string& image) const {
    return static_cast<int>(std::count_if(processes.begin(), processes.end(),
                                          [&](const Process& p) { return SameNoCase(p.image, image); }));
}

bool Machine::FileExists(const std::string& path) const {
    std::string full = LongForm(path);
    return std::any_of(files.begin(), files.end(), [&](const File& f) { return SameNoCase(f.path, full); });
}

bool Machine::FolderExists(const std::string& path) const {
    // "C:\\Program Files\\Aqua\\" names the folder too.
    std::string full = LongForm(path.size() > 3 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path);
    return std::any_of(folders.begin(), folders.end(), [&](const std::string& f) { return SameNoCase(f, full); });
}

std::string Machine::LongForm(const std::string& path) const {
    // A junction is followed, like a short name, by whoever opens a path through it.
    for (const auto* names : {&longNames, &junctions})
        for (const auto& [shortName, longName] : *names) {
            if (path.size() >= shortName.size() && SameNoCase(path.substr(0, shortName.size()), shortName) &&
                (path.size() == shortName.size() || path[shortName.size()] == '\\'))
                return longName + path.substr(shortName.size());
        }
    return path;
}

bool Machine::FileInUse(const std::string& path) {
    for (const File& f : files)
        if (f.inUse && SameNoCase(f.path, path)) return true;
    for (const Process& p : processes)
        if (!p.path.empty() && SameNoCase(LongForm(p.path), LongForm(path))) return true;
    if (SameNoCase(LongForm(modulePath), path)) return true;  // our own image
    Refresh();
    for (const auto& s : services) {
        std::string program = s->binaryPath;
        if (program.size() >= 2 && program.front() == '"' && program.back() == '"')
            program = program.substr(1, program.size() - 2);
        if (s->state != win::SERVICE_STOPPED && SameNoCase(program, path)) return true;
    }
    return false;
}

std::map<std::string, std::string> Machine::OwnEnvironment() const {
    std::map<std::string, std::string> own = systemEnvironment;
    for (const auto& [name, value] : userEnvironment) own[name] = name == "Path" ? own[name] + ";" + value : value;
    return own;
}

std::vector<std::string> Machine::Trace(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& entry : trace)
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

int Machine::Count(const std::string& prefix) const { return static_cast<int>(Trace(prefix).size()); }

void* Machine::NewHandle(HandleKind kind, const std::string& what) {
    void* handle = reinterpret_cast<void*>(nextHandle_);
    nextHandle_ += 8;
    HandleInfo info;
    info.kind = kind;
    info.what = what;
    handles_.emplace(handle, std::move(info));
    return handle;
}

void* Machine::NewMemory(std::size_t size, const std::string& what) {
    HandleInfo info;
    info.kind = HandleKind::Memory;
    info.what = what;
    info.memory.assign(size, 0);
    void* block = info.memory.data();
    handles_.emplace(block, std::move(info));
    return block;
}

Security OnlyAdministrators() {
    Security s;
    s.owner = "S-1-5-32-544";
    s.entries = {{win::ACCESS_ALLOWED_ACE_TYPE, 3, win::FILE_ALL_ACCESS, "S-1-5-32-544"},
                 {win::ACCESS_ALLOWED_ACE_TYPE, 3, win::FILE_ALL_ACCESS, "S-1-5-18"},
                 {win::ACCESS_ALLOWED_ACE_TYPE, 3, win::FILE_GENERIC_READ_EXECUTE, "S-1-5-32-545"}};
    return s;
}

Security& Machine::SecurityOf(const std::string& path) {
    std::string full = LongForm(path);
    for (auto& [where, found] : security)
        if (SameNoCase(where, full)) return found;
    return security[full] = OnlyAdministrators();
}

Machine::HandleInfo* Machine::Handle(void* handle, HandleKind kind) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

bool Machine::CloseHandleOf(void* handle, HandleKind kind) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.kind != kind) {
        std::ostringstream out;
        out << "closed a handle that is not open: " << handle;
        misuse.push_back(out.str());
        return false;
    }
    handles_.erase(it);
    return true;
}

std::shared_ptr<Machine::EventObject> Machine::EventNamed(const std::string& name) {
    for (auto& [handle, info] : handles_)
        if (info.kind == HandleKind::Event && info.event && info.event->name == name) return info.event;
    return nullptr;
}

bool Machine::HeldWithoutDeleteSharing(const std::string& path) const {
    // Sharing binds only opens for data or deletion: generic, read, write, append, execute, delete.
    const DWORD dataOrDelete = 0xF0000000 | win::DELETE | 0x27;
    for (const auto& [handle, info] : handles_)
        if (info.kind == HandleKind::File && (info.access & dataOrDelete) && SameNoCase(info.path, path) &&
            !(info.share & win::FILE_SHARE_DELETE))
            return true;
    return false;
}

bool Machine::OpenBelow(const std::string& folder) const {
    return std::any_of(handles_.begin(), handles_.end(), [&](const auto& h) {
        const std::string& path = h.second.path;
        return h.second.kind == HandleKind::File && SameNoCase(path.substr(0, folder.size() + 1), folder + "\\");
    });
}

std::vector<std::string> Machine::OpenHandles() const {
    std::vector<std::string> out;
    for (const auto& [handle, info] : handles_) out.push_back(info.what);
    return out;
}

}  // namespace sim
