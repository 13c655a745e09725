#include "platform/win32/win32_xml_writer.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
// IID_IXmlWriter is defined here: MinGW's uuid library lacks it.
#include <initguid.h>
#include <xmllite.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace hs {

namespace {

// WR_E_INVALIDACTION: a call the writer's state does not allow.
constexpr HResult kWrInvalidAction = static_cast<HResult>(0xC00CEF0B);

using CreateXmlWriterFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

std::wstring Wide(TextView text) { return std::wstring(text.begin(), text.end()); }

HResult LastErrorResult() {
  const DWORD e = ::GetLastError();
  return e ? HResultFromWin32(static_cast<WinError>(e)) : kHrFail;
}

// xmllite.dll from the system folder (never from the search path).
HMODULE LoadXmlLite() {
  wchar_t dir[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::wstring path(dir, n);
  if (path.back() != L'\\') path += L'\\';
  path += L"xmllite.dll";
  return ::LoadLibraryW(path.c_str());
}

bool RunningOnWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Win32XmlWriter final : public XmlWriter {
 public:
  Win32XmlWriter(HMODULE module, IXmlWriter* writer, IStream* stream, bool escape_attributes)
      : module_(module), writer_(writer), stream_(stream), escape_attributes_(escape_attributes) {}
  ~Win32XmlWriter() override {
    writer_->Release();
    if (stream_) stream_->Release();
    ::FreeLibrary(module_);
  }
  Win32XmlWriter(const Win32XmlWriter&) = delete;
  Win32XmlWriter& operator=(const Win32XmlWriter&) = delete;

  HResult WriteStartDocument() override { return writer_->WriteStartDocument(XmlStandalone_Omit); }

  HResult WriteStartElement(TextView name) override {
    if (!IsXmlName(name)) return kHrInvalidArg;
    return Guard([&] { return writer_->WriteStartElement(nullptr, Wide(name).c_str(), nullptr); });
  }

  HResult WriteAttributeString(TextView name, TextView value) override {
    if (!IsXmlName(name)) return kHrInvalidArg;
    return Guard([&] {
      const Text safe = XmlSafeText(value);
      const std::wstring v = Wide(escape_attributes_ ? EscapeXmlAttribute(safe) : safe);
      return writer_->WriteAttributeString(nullptr, Wide(name).c_str(), nullptr, v.c_str());
    });
  }

  HResult WriteString(TextView text) override {
    return Guard([&] { return writer_->WriteString(Wide(XmlSafeText(text)).c_str()); });
  }

  HResult WriteFullEndElement() override { return writer_->WriteFullEndElement(); }

  HResult WriteWhitespace(TextView whitespace) override {
    if (!IsXmlWhitespace(whitespace)) return kHrInvalidArg;
    return Guard([&] {
      const std::wstring ws = Wide(whitespace);
      HResult hr = writer_->WriteWhitespace(ws.c_str());
      // Wine's writer refuses whitespace after an end tag; as text it gives
      // the same characters (and fails the same way after the document end).
      if (hr == kWrInvalidAction) hr = writer_->WriteString(ws.c_str());
      return hr;
    });
  }

  HResult WriteEndDocument() override { return writer_->WriteEndDocument(); }
  HResult Flush() override { return writer_->Flush(); }

 private:
  template <typename F>
  static HResult Guard(F&& f) {
    try {
      return f();
    } catch (const std::exception&) {
      return kHrOutOfMemory;
    }
  }

  HMODULE module_;
  IXmlWriter* writer_;
  IStream* stream_;
  bool escape_attributes_;
};

// Writes <p a="&<>""/> with the system writer into memory and answers 1 when
// the value came out verbatim, 0 when it came out escaped, -1 when the probe
// could not tell.
int ProbeAttributeEscaping(CreateXmlWriterFn create) {
  IStream* mem = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &mem))) return -1;
  IXmlWriter* w = nullptr;
  int answer = -1;
  if (SUCCEEDED(create(IID_IXmlWriter, reinterpret_cast<void**>(&w), nullptr))) {
    if (SUCCEEDED(w->SetProperty(XmlWriterProperty_ByteOrderMark, FALSE)) &&
        SUCCEEDED(w->SetProperty(XmlWriterProperty_OmitXmlDeclaration, TRUE)) && SUCCEEDED(w->SetOutput(mem)) &&
        SUCCEEDED(w->WriteStartElement(nullptr, L"p", nullptr)) &&
        SUCCEEDED(w->WriteAttributeString(nullptr, L"a", nullptr, L"&<>\"")) &&
        SUCCEEDED(w->WriteEndElement()) && SUCCEEDED(w->Flush())) {
      HGLOBAL h = nullptr;
      LARGE_INTEGER zero{};
      ULARGE_INTEGER end{};
      if (SUCCEEDED(mem->Seek(zero, STREAM_SEEK_CUR, &end)) && SUCCEEDED(::GetHGlobalFromStream(mem, &h)) &&
          end.QuadPart <= ::GlobalSize(h)) {
        if (const char* p = static_cast<const char*>(::GlobalLock(h))) {
          const std::string_view out(p, static_cast<std::size_t>(end.QuadPart));
          if (out.find("a=\"&<>\"\"") != std::string_view::npos) {
            answer = 1;
          } else if (out.find("&amp;&lt;") != std::string_view::npos) {
            answer = 0;
          }
          ::GlobalUnlock(h);
        }
      }
    }
    w->Release();
  }
  mem->Release();
  return answer;
}

}  // namespace

bool Win32XmlWriterFactory::MustEscapeAttributes(void* create_writer) {
  std::lock_guard<std::mutex> lock(mu_);
  if (escaping_ < 0) {
    const int probed = ProbeAttributeEscaping(reinterpret_cast<CreateXmlWriterFn>(create_writer));
    escaping_ = probed >= 0 ? probed : (RunningOnWine() ? 1 : 0);
  }
  return escaping_ == 1;
}

XmlWriterOpen Win32XmlWriterFactory::Create(TextView path) {
  XmlWriterOpen out;
  try {
    out.failures.reserve(4);  // later push_backs do not allocate
    // Step 1: the file, created or replaced.
    IStream* stream = nullptr;
    const std::wstring file = Wide(path);
    if (file.find(L'\0') != std::wstring::npos) {
      out.failures.push_back({XmlSetupStep::kFileStream, HResultFromWin32(err::kInvalidName)});
    } else {
      const HRESULT hr = ::SHCreateStreamOnFileEx(file.c_str(), STGM_WRITE | STGM_CREATE | STGM_SHARE_DENY_WRITE,
                                                  FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, &stream);
      if (FAILED(hr)) {
        out.failures.push_back({XmlSetupStep::kFileStream, hr});
        stream = nullptr;
      }
    }

    // Step 2: the writer.
    auto no_writer = [&](HResult hr) {
      out.failures.push_back({XmlSetupStep::kWriter, hr});
      if (stream) stream->Release();
      return std::move(out);
    };
    HMODULE module = LoadXmlLite();
    if (!module) return no_writer(LastErrorResult());
    auto create = reinterpret_cast<CreateXmlWriterFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CreateXmlWriter")));
    if (!create) {
      const HResult hr = LastErrorResult();
      ::FreeLibrary(module);
      return no_writer(hr);
    }
    IXmlWriter* writer = nullptr;
    if (const HRESULT hr = create(IID_IXmlWriter, reinterpret_cast<void**>(&writer), nullptr); FAILED(hr)) {
      ::FreeLibrary(module);
      return no_writer(hr);
    }
    const bool escape = MustEscapeAttributes(reinterpret_cast<void*>(create));
    // From here the writer object owns the module reference and the stream.
    auto* owner = new (std::nothrow) Win32XmlWriter(module, writer, stream, escape);
    if (!owner) {
      writer->Release();
      ::FreeLibrary(module);
      return no_writer(kHrOutOfMemory);
    }
    out.writer.reset(owner);

    // Steps 3 and 4: output and indentation. Without a file the writer has
    // no output, and its writes fail.
    if (stream) {
      if (const HRESULT hr = writer->SetOutput(stream); FAILED(hr))
        out.failures.push_back({XmlSetupStep::kSetOutput, hr});
    }
    if (const HRESULT hr = writer->SetProperty(XmlWriterProperty_Indent, TRUE); FAILED(hr))
      out.failures.push_back({XmlSetupStep::kIndent, hr});
  } catch (const std::exception&) {
    // Only the path copy and the reserve allocate before anything is
    // acquired.
    out.failures.clear();
    out.failures.shrink_to_fit();
    try {
      out.failures.push_back({XmlSetupStep::kFileStream, kHrOutOfMemory});
    } catch (const std::exception&) {
    }
  }
  return out;
}

}  // namespace hs
