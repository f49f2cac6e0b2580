// A shared lock on one byte of a handle kept for a moment after its use, so
// that calls following one another close by take and give it only once. The
// thread that owns a lease (the one holding its table's context) takes it up
// for a call and puts it down after; a lease left down beyond its time is
// given back by a releaser thread of the process, which sleeps while no
// lease is down. The lease never outlives its time while down: another
// station waiting for the byte waits no longer than that. In a child of
// fork a lease ends with its call, as it may start no thread there.
#pragma once

#include <cstdint>

struct DbLease;

// How long a lease lasts from the moment its byte was last found free of
// any claim: a few steps of the waits on the other side.
enum : int { DB_LEASE_MS = 5 };

DbLease* lease_open(long offset);
// Gives the byte back if it is held and frees the lease; the releaser
// never touches it afterwards.
void lease_close(DbLease* l);

enum DbLeaseHold {
  DB_LEASE_NONE,   // the byte is not held: take it, then lease_hold
  DB_LEASE_FRESH,  // held and within its time: go on
  DB_LEASE_STALE,  // held, its time is up: check, then lease_renew or lease_give_back
};
// Takes the lease up for a call on handle `h`.
DbLeaseHold lease_take_up(DbLease* l, intptr_t h);
// The byte was just taken on `h`: the lease is up, its time starts.
void lease_hold(DbLease* l, intptr_t h);
void lease_renew(DbLease* l);
// The call ends: the byte stays held for the rest of the lease's time, or
// goes back at once when that is up.
void lease_put_down(DbLease* l);
// Gives the byte of a lease taken up back now.
void lease_give_back(DbLease* l);
// Lets a lease taken up go without touching the byte, which the caller
// holds otherwise now (a rebuild of the same handle holds it alone).
void lease_forget(DbLease* l);
// Gives back every lease of the process that is down, whatever its time: a
// rebuild waiting for the byte need not wait for this process's leases.
void lease_give_back_idle();
