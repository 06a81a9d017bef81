// Identifiers of the library's messages (module "ZEBFile").
#pragma once

namespace ZEBFileMsg {

constexpr char const MODULE[] = "ZEBFile";
constexpr char const CATALOG_NAME[] = "ZEBFileMsg-I.h";

enum Id : unsigned {
  CANNOT_OPEN_CONFIG_SOURCE = 0,
  CANNOT_OPEN_READ_ONLY = 1,
  CANNOT_OPEN_WRITE_ONLY = 2,
  CANNOT_COPY = 3,
  CANNOT_CREATE = 4,
  CANNOT_DELETE = 5,
  DRIVE_DOES_NOT_EXIST = 6,
  CANNOT_GET_VIEW = 7,
  CANNOT_LIST_FILES = 8,
  CANNOT_MOVE = 9,
  CANNOT_READ = 10,
  CANNOT_RELEASE_VIEW = 11,
  CANNOT_RETRIEVE_SERVER = 12,
  CANNOT_SEEK = 13,
  CANNOT_SET_ATTRIBUTES = 14,
  CANNOT_WRITE = 15,
  INVALID_CONFIG_SOURCE = 16,
  CANNOT_GET_ATTRIBUTES = 17,
  MESSAGE_COUNT = 18
};

} // namespace ZEBFileMsg
