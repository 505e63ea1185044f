// The client data packet, and filling one from a list of alternatives.
#include "scheduler/client_data_packet.h"

#include <cstdio>
#include <cstring>

#include "foundation/tagged_new.h"
#include "scheduler/alternative.h"

ClientDataPacket::ClientDataPacket(const char* text) { init_client_data_packet(text); }

ClientDataPacket::ClientDataPacket(const char* text, long n) {
  init_client_data_packet(text);
  allocate_space(n);
}

ClientDataPacket::~ClientDataPacket() { free_arrays(); }

void ClientDataPacket::init_client_data_packet(const char* text) {
  label[0] = '\0';
  if (text != nullptr) {
    strncpy(label, text, sizeof label - 1);
    label[sizeof label - 1] = '\0';
  }
  for (int d = 0; d < 3; d++) {
    e_values[d] = c_values[d] = pe_values[d] = max_values[d] = min_values[d] = c_values_as_0_to_100[d] = nullptr;
  }
  ratings = nullptr;
  was_scheduled_or_top_ranked = nullptr;
  num_in_packet = 0;
}

void ClientDataPacket::free_arrays() {
  for (int d = 0; d < 3; d++) {
    for (float** array : {&e_values[d], &c_values[d], &pe_values[d], &max_values[d], &min_values[d],
                          &c_values_as_0_to_100[d]}) {
      delete[] *array;
      *array = nullptr;
    }
  }
  delete[] ratings;
  ratings = nullptr;
  delete[] was_scheduled_or_top_ranked;
  was_scheduled_or_top_ranked = nullptr;
}

void ClientDataPacket::allocate_space(long n) {
  free_arrays();
  size_t count = static_cast<size_t>(n > 0 ? n : 0);
  for (int d = 0; d < 3; d++) {
    for (float** array : {&e_values[d], &c_values[d], &pe_values[d], &max_values[d], &min_values[d],
                          &c_values_as_0_to_100[d]})
      *array = new ("ClientDataPacket::allocate_space") float[count]();
  }
  ratings = new ("ClientDataPacket::allocate_space") float[count]();
  was_scheduled_or_top_ranked = new ("ClientDataPacket::allocate_space") int[count]();
  num_in_packet = n;
}

void ClientDataPacket::print(FILE* stream) {
  fprintf(stream, "ClientDataPacket:\n");
  fprintf(stream, "\tContains %ld items.\n", num_in_packet);
  const char* names[] = {"quality", "cost", "duration"};
  for (long i = 0; i < num_in_packet; i++) {
    fprintf(stream, "\tType: %s  Data (min, e, max, c, c as 100, pe):\n", label);
    for (int d = 0; d < 3; d++) {
      fprintf(stream, "\t\t%s: ", names[d]);
      fprintf(stream, "%.2f %.2f %.2f %.2f %.2f ", min_values[d][i], e_values[d][i], max_values[d][i],
              c_values[d][i], c_values_as_0_to_100[d][i]);
      if (pe_values[d] != nullptr)
        fprintf(stream, "%.2f\n", pe_values[d][i]);
      else
        fprintf(stream, "\n");
    }
    fprintf(stream, "\t\tRating %.2f, Scheduled %d\n", ratings[i], was_scheduled_or_top_ranked[i]);
  }
}

void ClientDataPacket::store_item(long i, Distribution* const values[3], const float probabilities[3],
                                  Distribution* const potentials[3], float rating, int scheduled) {
  for (int d = 0; d < 3; d++) {
    e_values[d][i] = values[d]->get_expected_value();
    c_values[d][i] = probabilities[d];
    c_values_as_0_to_100[d][i] = probabilities[d] * 100.0f;
    if (potentials != nullptr) pe_values[d][i] = potentials[d]->get_expected_value();
    max_values[d][i] = values[d]->get_value_max();
    min_values[d][i] = values[d]->get_value_min();
  }
  ratings[i] = rating;
  was_scheduled_or_top_ranked[i] = scheduled;
}

ClientDataPacket* AlternativeList::store_alt_data_for_outside_client() {
  ClientDataPacket* packet = new ("AlternativeList::store_alt_data_for_outside_client")
      ClientDataPacket("Alternative", length());
  for (long i = 0; i < length(); i++) {
    Alternative* a = get(i);
    Distribution* const actual[] = {&a->quality, &a->cost, &a->duration};
    Distribution* const potential[] = {&a->potential_quality, &a->potential_cost, &a->potential_duration};
    const float probabilities[] = {a->prob_expected_q_or_better, a->prob_expected_c_or_better,
                                   a->prob_expected_d_or_better};
    packet->store_item(i, actual, probabilities, potential, a->rating, a->already_been_scheduled);
  }
  return packet;
}
