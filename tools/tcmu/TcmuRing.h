/* The command ring of the kernel's userspace target (TCMU), read through the kernel's own
 * header. That header is C (it defines struct iovec itself), so the ring is reached from C and
 * the drive model stays in C++. `map` is the whole mapping of /dev/uioN. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The entry at the ring's tail that carries a command, skipping padding and task management;
 * 0 when the ring is empty. */
int brenvo_tcmu_next(uint8_t* map, uint32_t* entry);
/* The command block the kernel kept for the entry. */
const uint8_t* brenvo_tcmu_cdb(uint8_t* map, uint32_t entry);
/* The entry's data segments as offsets into the mapping and lengths; returns how many there
 * are (at most `room` are written). Read them before answering: the answer overlays them. */
uint32_t brenvo_tcmu_segments(uint8_t* map, uint32_t entry, uint64_t* offsets, uint64_t* lengths,
                              uint32_t room);
/* Writes the answer: SCSI status and, for CHECK CONDITION, the sense bytes. */
void brenvo_tcmu_answer(uint8_t* map, uint32_t entry, uint8_t status, const uint8_t* sense,
                        size_t senseLength);
/* Moves the tail past the entry. */
void brenvo_tcmu_advance(uint8_t* map);

#ifdef __cplusplus
}
#endif
