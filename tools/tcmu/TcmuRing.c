#include "TcmuRing.h"

#include <linux/target_core_user.h>
#include <string.h>

static struct tcmu_mailbox* Mailbox(uint8_t* map) {
    return (struct tcmu_mailbox*)map;
}

static struct tcmu_cmd_entry* Entry(uint8_t* map, uint32_t entry) {
    return (struct tcmu_cmd_entry*)(map + Mailbox(map)->cmdr_off + entry);
}

void brenvo_tcmu_advance(uint8_t* map) {
    struct tcmu_mailbox* mailbox = Mailbox(map);
    struct tcmu_cmd_entry* at = Entry(map, mailbox->cmd_tail);
    __sync_synchronize();
    mailbox->cmd_tail = (mailbox->cmd_tail + tcmu_hdr_get_len(at->hdr.len_op)) % mailbox->cmdr_size;
    __sync_synchronize();
}

int brenvo_tcmu_next(uint8_t* map, uint32_t* entry) {
    struct tcmu_mailbox* mailbox = Mailbox(map);
    for (;;) {
        __sync_synchronize();
        if (mailbox->cmd_tail == mailbox->cmd_head) return 0;
        struct tcmu_cmd_entry* at = Entry(map, mailbox->cmd_tail);
        if (tcmu_hdr_get_op(at->hdr.len_op) == TCMU_OP_CMD) {
            *entry = mailbox->cmd_tail;
            return 1;
        }
        brenvo_tcmu_advance(map);
    }
}

const uint8_t* brenvo_tcmu_cdb(uint8_t* map, uint32_t entry) {
    return map + Entry(map, entry)->req.cdb_off;
}

uint32_t brenvo_tcmu_segments(uint8_t* map, uint32_t entry, uint64_t* offsets, uint64_t* lengths,
                              uint32_t room) {
    struct tcmu_cmd_entry* at = Entry(map, entry);
    uint32_t count = at->req.iov_cnt;
    for (uint32_t i = 0; i < count && i < room; ++i) {
        struct iovec segment;
        memcpy(&segment, &at->req.iov[i], sizeof segment);
        offsets[i] = (uint64_t)(uintptr_t)segment.iov_base;
        lengths[i] = segment.iov_len;
    }
    return count;
}

void brenvo_tcmu_answer(uint8_t* map, uint32_t entry, uint8_t status, const uint8_t* sense,
                        size_t senseLength) {
    struct tcmu_cmd_entry* at = Entry(map, entry);
    memset(&at->rsp, 0, sizeof at->rsp);
    at->rsp.scsi_status = status;
    if (senseLength > TCMU_SENSE_BUFFERSIZE) senseLength = TCMU_SENSE_BUFFERSIZE;
    if (sense) memcpy(at->rsp.sense_buffer, sense, senseLength);
}
