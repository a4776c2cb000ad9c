#!/usr/bin/env bash
# A one-node Slurm cluster in a folder of its own, for the farm tests:
# munged and slurmctld/slurmd with a minimal configuration, all as root,
# on ports of their own. `cluster.sh start DIR` starts it and prints the
# environment its clients need (SLURM_CONF); `cluster.sh stop DIR` ends
# every process it started, by the PIDs it wrote.
set -euo pipefail
what=$1 dir=$2

stop() {
  for pidfile in "$dir"/run/*.pid; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$pidfile"
  done
}

if [ "$what" = stop ]; then
  stop
  exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "cluster: needs root (Slurm's daemons run as root here)"; exit 77; }
for tool in munged slurmctld slurmd sbatch squeue scancel; do
  command -v "$tool" >/dev/null || { echo "cluster: $tool is not installed"; exit 77; }
done
mkdir -p "$dir"/{run,state,spool,log,munge}
chmod 700 "$dir/munge"
dd if=/dev/urandom of="$dir/munge/key" bs=1024 count=1 status=none
chmod 400 "$dir/munge/key"
munged --socket="$dir/run/munge.socket" --key-file="$dir/munge/key" \
  --pid-file="$dir/run/munged.pid" --log-file="$dir/log/munged.log" \
  --seed-file="$dir/munge/seed" --force

host=$(hostname -s)
cpus=$(nproc)
# Ports from the folder's name, so that clusters of two test runs do not meet.
port=$((17000 + $(cksum <<<"$dir" | cut -d' ' -f1) % 2000 * 2))
cat >"$dir/slurm.conf" <<CONF
ClusterName=vxfarm
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/run/munge.socket
CredType=cred/munge
SlurmctldPort=$port
SlurmdPort=$((port + 1))
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SlurmctldTimeout=30
SlurmdTimeout=30
InactiveLimit=0
MinJobAge=300
KillWait=2
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=farm Nodes=$host Default=YES MaxTime=INFINITE State=UP OverSubscribe=FORCE:4
CONF
export SLURM_CONF=$dir/slurm.conf
slurmctld -i -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
# Ready when the node takes jobs.
for _ in $(seq 100); do
  state=$(sinfo -h -o %t 2>/dev/null || true)
  case $state in idle* | mix* | alloc*) echo "SLURM_CONF=$SLURM_CONF"; exit 0 ;; esac
  sleep 0.2
done
echo "cluster: the node did not come up (state '$state'); logs in $dir/log"
exit 1
