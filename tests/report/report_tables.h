// The two tables the report tests and the report fuzz targets run over:
// ORDERS holds five orders (customers A, A, A, B, B, quantities 10 to 50,
// every other one paid), CUSTS names the customers. Both have production
// indexes (ORDNO and CUST; CUSTNO). No test framework needed.
#pragma once

#include <string>
#include <utility>

#include "engine/engine_api.h"

namespace kvtest {

inline constexpr DbFieldInfo kOrderFields[] = {{"ORDNO", 'N', 6, 0}, {"CUST", 'C', 6, 0}, {"QTY", 'N', 8, 2},
                                               {"ODATE", 'D', 8, 0}, {"PAID", 'L', 1, 0}, {nullptr, 0, 0, 0}};
inline constexpr DbTagInfo kOrderTags[] = {{"ORDNO", "ORDNO", nullptr, 0, 0},
                                           {"CUST", "CUST", nullptr, 0, 0},
                                           {nullptr, nullptr, nullptr, 0, 0}};
inline constexpr DbFieldInfo kCustFields[] = {{"CUSTNO", 'C', 6, 0}, {"NAME", 'C', 20, 0}, {nullptr, 0, 0, 0}};
inline constexpr DbTagInfo kCustTags[] = {{"CUSTNO", "CUSTNO", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};

// Creates ORDERS.DBF and CUSTS.DBF under dir (a native path ending without
// a separator) and leaves them open; false on any failure.
inline bool make_report_tables(DB_ENGINE* c, const std::string& dir, DbDataFile** orders, DbDataFile** custs) {
  *orders = data_create(c, (dir + "/ORDERS.DBF").c_str(), kOrderFields, kOrderTags);
  *custs = data_create(c, (dir + "/CUSTS.DBF").c_str(), kCustFields, kCustTags);
  if (!*orders || !*custs) return false;
  const char* cust[] = {"A", "A", "A", "B", "B"};
  for (int i = 0; i < 5; i++) {
    if (data_append_start(*orders, 0) != 0) return false;
    field_assign_long(data_field_at(*orders, 1), i + 1);
    field_assign(data_field_at(*orders, 2), cust[i]);
    field_assign_double(data_field_at(*orders, 3), 10.0 * (i + 1));
    field_assign(data_field_at(*orders, 4), "20240301");
    field_assign(data_field_at(*orders, 5), i % 2 ? "F" : "T");
    if (data_append(*orders) != 0) return false;
  }
  for (auto [no, name] : {std::pair{"A", "ACME"}, std::pair{"B", "BOLT"}}) {
    if (data_append_start(*custs, 0) != 0) return false;
    field_assign(data_field_at(*custs, 1), no);
    field_assign(data_field_at(*custs, 2), name);
    if (data_append(*custs) != 0) return false;
  }
  return true;
}

}  // namespace kvtest
