#include "platform/script_control.hpp"

#include <windows.h>
#include <oleauto.h>

namespace zoq::platform {
namespace {

IDispatch* AsDispatch(void* p) { return static_cast<IDispatch*>(p); }

bool DispatchId(IDispatch* d, const wchar_t* name, DISPID& id) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return SUCCEEDED(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

bool PutProperty(IDispatch* d, const wchar_t* name, VARIANT value) {
  DISPID id;
  if (!DispatchId(d, name, id)) return false;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  return SUCCEEDED(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                             nullptr));
}

// A method with one text argument; `result` (may be null) receives its value.
bool CallWithText(IDispatch* d, const wchar_t* method, const std::wstring& text, VARIANT* result) {
  DISPID id;
  if (!DispatchId(d, method, id)) return false;
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!arg.bstrVal) return false;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXCEPINFO error{};
  const HRESULT hr =
      d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &error, nullptr);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrHelpFile);
  VariantClear(&arg);
  return SUCCEEDED(hr);
}

}  // namespace

std::unique_ptr<ScriptControl> ScriptControl::Create(const std::wstring& language) {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"MSScriptControl.ScriptControl", &clsid))) return nullptr;
  IDispatch* d = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d))) ||
      !d)
    return nullptr;
  std::unique_ptr<ScriptControl> control(new ScriptControl(d));
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_FALSE;
  PutProperty(d, L"AllowUI", v);
  v.boolVal = VARIANT_TRUE;
  PutProperty(d, L"UseSafeSubset", v);
  VARIANT lang;
  VariantInit(&lang);
  lang.vt = VT_BSTR;
  lang.bstrVal = SysAllocStringLen(language.data(), static_cast<UINT>(language.size()));
  const bool ok = lang.bstrVal && PutProperty(d, L"Language", lang);
  VariantClear(&lang);
  if (!ok) return nullptr;
  return control;
}

ScriptControl::~ScriptControl() { AsDispatch(dispatch_)->Release(); }

bool ScriptControl::AddCode(const std::wstring& code) {
  return CallWithText(AsDispatch(dispatch_), L"AddCode", code, nullptr);
}

bool ScriptControl::Eval(const std::wstring& expression, std::wstring& value) {
  value.clear();
  VARIANT result;
  VariantInit(&result);
  if (!CallWithText(AsDispatch(dispatch_), L"Eval", expression, &result)) {
    VariantClear(&result);
    return false;
  }
  bool ok = true;
  if (result.vt != VT_EMPTY && result.vt != VT_NULL) {
    VARIANT text;
    VariantInit(&text);
    ok = SUCCEEDED(VariantChangeType(&text, &result, 0, VT_BSTR));
    if (ok && text.bstrVal) value.assign(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
  }
  VariantClear(&result);
  return ok;
}

bool ScriptControl::Eval(const std::wstring& expression, ScriptValue& value) {
  value = {};
  VARIANT result;
  VariantInit(&result);
  if (!CallWithText(AsDispatch(dispatch_), L"Eval", expression, &result)) {
    VariantClear(&result);
    return false;
  }
  switch (result.vt) {
    case VT_EMPTY: case VT_NULL: break;
    case VT_BOOL:
      value.kind = ScriptValue::kBoolean;
      value.number = result.boolVal ? 1 : 0;
      break;
    case VT_BSTR:
      value.kind = ScriptValue::kText;
      if (result.bstrVal) value.text.assign(result.bstrVal, SysStringLen(result.bstrVal));
      break;
    case VT_DISPATCH: case VT_UNKNOWN:
      value.kind = ScriptValue::kOther;
      break;
    default: {  // the number kinds
      VARIANT number;
      VariantInit(&number);
      if (SUCCEEDED(VariantChangeType(&number, &result, 0, VT_R8))) {
        value.kind = ScriptValue::kNumber;
        value.number = number.dblVal;
      } else {
        value.kind = ScriptValue::kOther;
      }
      VariantClear(&number);
    }
  }
  VariantClear(&result);
  return true;
}

}  // namespace zoq::platform
