# A virtual smart card (libcacard behind vpcd and pcscd, tools/card) through
# OpenSC's module. The fixture starts the card's processes before the suite and
# stops them after it, whatever the suite did; pcscd's socket is the machine's
# only one, so the three entries hold one lock.
set(ORV_CARD_STATE ${CMAKE_BINARY_DIR}/tests/card-state)
set(ORV_CARD_SCRIPT ${CMAKE_SOURCE_DIR}/tools/card/card.sh)
add_test(NAME card_start COMMAND sh ${ORV_CARD_SCRIPT} start ${ORV_CARD_STATE} $<TARGET_FILE:orvcard-relay>)
add_test(NAME card_stop COMMAND sh ${ORV_CARD_SCRIPT} stop ${ORV_CARD_STATE})
# Classes run in name order, so CardWaiterTest comes last: a module its cases
# wedge would keep pcscd's reader locked for every later case.
orv_add_junit(card_junit PACKAGE orvane.card LABELS card slow
    ENV ORV_CARD_STATE=${ORV_CARD_STATE} ORV_CARD_SCRIPT=${ORV_CARD_SCRIPT} ORV_CARD_RELAY=$<TARGET_FILE:orvcard-relay>
        "JAVA_TOOL_OPTIONS=-Djunit.jupiter.testclass.order.default=org.junit.jupiter.api.ClassOrderer$ClassName")
set_tests_properties(card_start PROPERTIES FIXTURES_SETUP orv_card TIMEOUT 60 RESOURCE_LOCK pcscd LABELS "card;slow")
set_tests_properties(card_stop PROPERTIES FIXTURES_CLEANUP orv_card TIMEOUT 30 RESOURCE_LOCK pcscd LABELS "card;slow")
set_tests_properties(card_junit PROPERTIES FIXTURES_REQUIRED orv_card TIMEOUT 240 RESOURCE_LOCK pcscd)
