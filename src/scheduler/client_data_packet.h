// A flat, column-oriented summary of a list of alternatives or schedules for a client
// outside the scheduler: per item the expected, smallest and largest quality, cost and
// duration, the probabilities of doing at least as well as expected, the potential
// values, the rating and whether the item was scheduled.
#pragma once

#include <cstdio>

class Distribution;

// Index of each dimension in the per-dimension arrays.
enum ClientDataDimension { CLIENT_DATA_QUALITY = 0, CLIENT_DATA_COST = 1, CLIENT_DATA_DURATION = 2 };

class ClientDataPacket {
 public:
  explicit ClientDataPacket(const char* label);
  ClientDataPacket(const char* label, long n);
  // The packet owns every array.
  ~ClientDataPacket();
  ClientDataPacket(const ClientDataPacket&) = delete;
  ClientDataPacket& operator=(const ClientDataPacket&) = delete;

  void init_client_data_packet(const char* label);
  // n entries in every array; arrays of an earlier call are freed first.
  void allocate_space(long n);
  void print(FILE* stream);
  // Item i from its three distributions (quality, cost, duration) and the probabilities
  // of doing as well as expected; potentials may be null (the potential values stay 0).
  void store_item(long i, Distribution* const values[3], const float probabilities[3],
                  Distribution* const potentials[3], float rating, int scheduled);

  // NUL-terminated, at most 255 characters.
  char label[256];
  float* e_values[3];
  float* c_values[3];
  float* pe_values[3];
  float* max_values[3];
  float* min_values[3];
  float* ratings;
  float* c_values_as_0_to_100[3];
  int* was_scheduled_or_top_ranked;
  long num_in_packet;

 private:
  void free_arrays();
};
