#!/bin/sh
# A throw-away OpenLDAP server for the directory tests, driven from the Windows
# side under Wine. Every command works in one folder that holds the server's
# configuration, database, pid file and log.
#   start   DIR PORT SIZELIMIT LDIF [SECURITY LDAPSPORT]
#           configure, load the LDIF and start (SIZELIMIT 0: none). SECURITY:
#           plain (the default), tls (a self-signed certificate for StartTLS and
#           ldaps:// on LDAPSPORT; passwords refused without encryption), or
#           plain-refusing (no TLS, passwords refused without encryption)
#   stop    DIR                       stop the server and wait until it is gone
#   restart DIR                       start again with the same configuration and data
#   modify  DIR LDIF                  apply changes as the directory's manager
# Started from Windows programs under Wine, which do not wait for a Unix
# process: the exit code lands in DIR/status once everything is done, and the
# reason of a failure in DIR/control.log.
. "$(dirname "$0")/server-control.sh"
suffix='dc=kordavin,dc=test'
rootdn="cn=admin,$suffix"
rootpw=admin-secret

wait_until_answering() {
    port=$(cat "$dir/port")
    wait_until 100 ldapsearch -x -H "ldap://127.0.0.1:$port/" -b '' -s base -LLL '(objectClass=*)' >/dev/null 2>&1 ||
        fail "slapd does not answer on port $port"
}

launch() {
    slapd -f "$dir/slapd.conf" -h "$(cat "$dir/urls")" >>"$log" 2>&1 || fail "slapd did not start"
    wait_until_answering
}

stop_server() {
    [ -f "$dir/slapd.pid" ] || return 0
    stop_process TERM "$(cat "$dir/slapd.pid")" 100 slapd
    rm -f "$dir/slapd.pid"
}

case $command in
start)
    port=$3
    sizelimit=$4
    ldif=$5
    security=${6:-plain}
    mkdir -p "$dir/db" || fail "cannot create $dir/db"
    echo "$port" >"$dir/port"
    echo "ldap://127.0.0.1:$port/" >"$dir/urls"
    tls=''
    case $security in
    plain) ;;
    tls)
        openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
            -addext subjectAltName=IP:127.0.0.1 -keyout "$dir/key.pem" -out "$dir/cert.pem" >>"$log" 2>&1 ||
            fail "no certificate made"
        echo "ldap://127.0.0.1:$port/ ldaps://127.0.0.1:$7/" >"$dir/urls"
        tls="TLSCertificateFile $dir/cert.pem
TLSCertificateKeyFile $dir/key.pem
security simple_bind=64"
        ;;
    plain-refusing) tls='security simple_bind=64' ;;
    *) fail "unknown security $security" ;;
    esac
    limits=''
    if [ "$sizelimit" != 0 ]; then
        limits="sizelimit size.soft=$sizelimit size.hard=$sizelimit size.pr=$sizelimit size.prtotal=unlimited"
    fi
    cat >"$dir/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
pidfile $dir/slapd.pid
$tls
modulepath /usr/lib/ldap
moduleload back_mdb
database mdb
maxsize 1073741824
suffix "$suffix"
rootdn "$rootdn"
rootpw $rootpw
directory $dir/db
$limits
CONF
    slapadd -q -f "$dir/slapd.conf" -l "$ldif" >>"$log" 2>&1 || fail "slapadd failed"
    launch
    ;;
restart)
    launch
    ;;
stop)
    stop_server
    ;;
modify)
    port=$(cat "$dir/port")
    # A server that refuses passwords without encryption gets them over StartTLS.
    starttls=''
    [ -f "$dir/cert.pem" ] && starttls=-ZZ
    LDAPTLS_REQCERT=never ldapmodify -x $starttls -H "ldap://127.0.0.1:$port/" -D "$rootdn" -w "$rootpw" -f "$3" >>"$log" 2>&1 ||
        fail "ldapmodify failed"
    ;;
*)
    fail "unknown command $command"
    ;;
esac
exit 0
