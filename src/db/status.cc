#include "db/status.h"

namespace cortevane::db {

const char* StatusText(int status) {
  switch (status) {
    case kOk:
      return "success";
    case kRecordNotFound:
      return "no such record";
    case kNotConnected:
      return "not connected";
    case kBadCredentials:
      return "unknown user or wrong password";
    case kAccountNotFound:
      return "no such account";
    case kAccountCorrupt:
      return "account damaged or unreadable";
    case kRemoteHostForFolder:
      return "a folder account can only be reached on this machine";
    case kServerUnreachable:
      return "database server unreachable";
    case kAlreadyConnected:
      return "already connected";
    case kBadDatabaseType:
      return "unsupported database type";
    case kAccountExists:
      return "account exists already";
    case kNotPermitted:
      return "not permitted to the server user";
    case kOutcomeUnknown:
      return "server lost before it confirmed the commit: the work may or may not be done";
    case kServerUnverified:
      return "the office server could not be authenticated";
    case kNoPrimary:
      return "no server of the list takes writes: the primary is down or being replaced";
    case kNoSuchFile:
      return "no such file";
    case kBadName:
      return "name refused";
    case kNoKey:
      return "no key set";
    case kFileExists:
      return "file exists already";
    case kPointerTargetAbsent:
      return "file pointer target account not connected";
    case kIoError:
      return "input/output error";
    case kLockTimeout:
      return "record locked by another session";
    case kNotReserved:
      return "record not reserved";
    case kRecordTooLarge:
      return "record too large";
    case kBaseBusy:
      return "base is busy (locked by another program)";
    case kReadOnlyAccount:
      return "account is read-only";
    case kConditionFailed:
      return "record changed by someone else";
    case kFileChanged:
      return "file changed while being selected";
    case kDiskFull:
      return "disk full";
    case kFileBusy:
      return "file is held by another connection of the server";
    case kNoSuchRoutine:
      return "no such catalogued routine";
    case kBadArgument:
      return "bad argument";
    case kQuerySyntax:
      return "query sentence does not parse";
    case kQueryUnknownFile:
      return "query names an unknown file";
    case kQueryUnknownItem:
      return "query names an unknown item";
    case kLaptopNotEmpty:
      return "laptop persons file is not empty";
    case kLaptopNotConnected:
      return "no session connected to the laptop account";
    case kMissingParameters:
      return "export parameters missing";
    case kUserExists:
      return "user exists already";
  }
  return "unknown status";
}

const char* AuthFailureText(AuthFailure why) {
  switch (why) {
    case AuthFailure::kNone:
      break;
    case AuthFailure::kNoEncryption:
      return "it offers no encryption (TLS)";
    case AuthFailure::kUnknownAuthority:
      return "its certificate is not signed by the office's certificate authority";
    case AuthFailure::kWrongHostName:
      return "its certificate is made out to another host name";
    case AuthFailure::kNoChannelBinding:
      return "it asks for the password without channel binding (SCRAM over TLS)";
  }
  return "unknown reason";
}

}  // namespace cortevane::db
