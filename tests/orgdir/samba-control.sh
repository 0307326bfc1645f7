#!/bin/sh
# A throw-away Active Directory domain controller (Samba) for the directory tests,
# driven from the Windows side under Wine like slapd-control.sh. It answers LDAP
# on 127.0.0.1 only (ports 389 and 636, which Samba does not let one change).
#   start DIR   provision the domain CORP.TEST into DIR, add its people and start
#   stop  DIR   stop every process of the server and wait until they are gone
# The people: informer (the account the program binds as, no phone), ivanov
# (telephone, mobile and ipPhone, job title, department, company), sidorov
# (telephone) and petrova (telephone, disabled). The exit code lands in DIR/status once everything is
# done (77: Samba cannot run here), the reason of a failure and the timings in
# DIR/control.log. The server lives at most 3 minutes whatever happens.
. "$(dirname "$0")/server-control.sh"
# The domain and Samba's sockets live in a short folder under /tmp: a socket's
# path may have at most 107 bytes, and Samba's msg.sock/<pid> under the tests'
# Wine prefix went past that in a deep checkout ("failed to setup parent messaging").
data_folder || data=
domain=$data/domain
run=$data/run
adminpass='Adm1n-secret!'
userpass='Us3r-secret!'

answers() {
    ldapsearch -x -H ldap://127.0.0.1/ -b '' -s base -LLL defaultNamingContext >/dev/null 2>&1
}
silent() { ! answers; }

launch() {
    # Port 389 taken by someone else would make the tests talk to the wrong server;
    # another run of this test elsewhere on the machine is waited out a while.
    wait_until 450 silent || fail "something answers LDAP on 127.0.0.1:389 for 45 s already"
    started=$(now_ms)
    # A session of its own, so that stop can end every process of the server;
    # timeout ends it should nothing stop it.
    setsid sh -c 'echo $$ >"$0/samba.pgid"; exec timeout 180 samba -s "$1/etc/smb.conf" -F --no-process-group' \
        "$dir" "$domain" >>"$dir/samba.log" 2>&1 </dev/null &
    if wait_until 600 answers; then
        echo "samba answers after $(($(now_ms) - started)) ms" >>"$log"
        return 0
    fi
    fail "samba does not answer on 127.0.0.1:389 within 60 s: $(tail -n 20 "$dir/samba.log" "$dir/log.samba")"
}

stop_server() {
    [ -f "$dir/samba.pgid" ] || return 0
    stopping=$(now_ms)
    # The whole group: samba's children as well.
    stop_process TERM "-$(cat "$dir/samba.pgid")" 100 samba 0.2
    rm -f "$dir/samba.pgid"
    echo "samba stopped in $(($(now_ms) - stopping)) ms" >>"$log"
}

# Samba makes its own TLS key at the first start when there is none: a 4096-bit RSA
# prime search that took from half a second to past the whole wait on a slow machine.
# A 2048-bit key made beforehand takes a fraction of a second and starts it at once.
tls_keys() {
    tls=$domain/private/tls
    mkdir -p "$tls" || fail "cannot create $tls"
    begun=$(now_ms)
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$(hostname).corp.test" \
        -keyout "$tls/key.pem" -out "$tls/cert.pem" >>"$log" 2>&1 || fail "openssl cannot make the TLS key"
    chmod 600 "$tls/key.pem"
    cp "$tls/cert.pem" "$tls/ca.pem"
    echo "TLS key made in $(($(now_ms) - begun)) ms" >>"$log"
}

user() {
    samba-tool user create "$@" -H "$domain/private/sam.ldb" -s "$domain/etc/smb.conf" >>"$log" 2>&1 ||
        fail "samba-tool user create $1 failed"
}

case $command in
start)
    [ "$(id -u)" = 0 ] || unavailable "Samba's domain controller runs as root only"
    command -v samba >/dev/null 2>&1 && command -v samba-tool >/dev/null 2>&1 ||
        unavailable "samba-ad-dc is not installed"
    [ -d /usr/share/samba/setup ] || unavailable "samba-ad-provision is not installed"
    begun=$(now_ms)
    new_data_folder samba root 180
    domain=$data/domain
    run=$data/run
    mkdir -p "$run" || fail "cannot create $run"
    # Everything Samba keeps or writes stays in its folder; only the LDAP server runs.
    samba-tool domain provision --targetdir="$domain" --realm=CORP.TEST --domain=CORP --server-role=dc \
        --dns-backend=NONE --adminpass="$adminpass" \
        --option="interfaces = 127.0.0.1" --option="bind interfaces only = yes" \
        --option="server services = ldap" --option="pid directory = $run" \
        --option="log file = $dir/log.samba" --option="ncalrpc dir = $run/ncalrpc" \
        --option="winbindd socket directory = $run/winbindd" \
        --option="ntp signd socket directory = $run/ntp_signd" >>"$log" 2>&1 || fail "provision failed"
    echo "provisioned in $(($(now_ms) - begun)) ms" >>"$log"
    begun=$(now_ms)
    user informer "$userpass"
    user ivanov "$userpass" --given-name='Иван' --surname='Иванов' --telephone-number='+7 (495) 111-22-33' \
        --job-title='Инженер' --department='Отдел связи' --company='ООО Кордавин'
    user petrova "$userpass" --given-name='Анна' --surname='Петрова' --telephone-number='+7 (495) 222-33-44'
    user sidorov "$userpass" --given-name='Пётр' --surname='Сидоров' --telephone-number='+7 (495) 333-44-55'
    samba-tool user disable petrova -H "$domain/private/sam.ldb" -s "$domain/etc/smb.conf" >>"$log" 2>&1 ||
        fail "samba-tool user disable failed"
    echo "people added in $(($(now_ms) - begun)) ms" >>"$log"
    tls_keys
    launch
    # The numbers samba-tool has no option for, as an administrator sets them: over ldaps://.
    LDAPTLS_REQCERT=never ldapmodify -x -H ldaps://127.0.0.1/ -D "Administrator@corp.test" -w "$adminpass" \
        >>"$log" 2>&1 <<LDIF || fail "ldapmodify over ldaps:// failed"
dn: CN=Иван Иванов,CN=Users,DC=corp,DC=test
changetype: modify
add: mobile
mobile: 8 916 123 45 67
-
add: ipPhone
ipPhone: 2233
-
LDIF
    ;;
stop)
    stop_server
    drop_data_folder samba
    ;;
*)
    fail "unknown command $command"
    ;;
esac
exit 0
